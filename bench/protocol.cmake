# SPDX-License-Identifier: GPL-3.0-or-later
# The XMODEM engine end to end: against lrzsz over a pseudo-terminal, and between two of
# our components over the paced virtual line.
set(protocol_bench_support ${CMAKE_SOURCE_DIR}/tests/protocol/LrzszPeer.cpp)
add_executable(bench_protocol_lrzsz ${CMAKE_CURRENT_LIST_DIR}/protocol_lrzsz.cpp
               ${CMAKE_CURRENT_LIST_DIR}/protocol_common.cpp ${protocol_bench_support})
target_include_directories(bench_protocol_lrzsz PRIVATE ${CMAKE_SOURCE_DIR}/tests/protocol)
target_link_libraries(bench_protocol_lrzsz PRIVATE protocol test_support)
add_executable(bench_protocol_vline ${CMAKE_CURRENT_LIST_DIR}/protocol_vline.cpp
               ${CMAKE_CURRENT_LIST_DIR}/protocol_common.cpp)
target_link_libraries(bench_protocol_vline PRIVATE protocol)
