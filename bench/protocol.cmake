# SPDX-License-Identifier: GPL-3.0-or-later
# The XMODEM engine end to end: against lrzsz over a pseudo-terminal, and between two of
# our components over the paced virtual line.
# Against lrzsz the main thread runs the application's event loop, as in the program.
if(TARVIK_BUILD_APP AND TARGET app)
  add_executable(bench_protocol_lrzsz ${CMAKE_CURRENT_LIST_DIR}/protocol_lrzsz.cpp
                 ${CMAKE_CURRENT_LIST_DIR}/protocol_common.cpp
                 ${CMAKE_SOURCE_DIR}/tests/protocol/LrzszPeer.cpp)
  target_include_directories(bench_protocol_lrzsz PRIVATE ${CMAKE_SOURCE_DIR}/tests/protocol)
  target_link_libraries(bench_protocol_lrzsz PRIVATE app test_support)
endif()
add_executable(bench_protocol_vline ${CMAKE_CURRENT_LIST_DIR}/protocol_vline.cpp
               ${CMAKE_CURRENT_LIST_DIR}/protocol_common.cpp)
target_link_libraries(bench_protocol_vline PRIVATE protocol)
