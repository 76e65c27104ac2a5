# SPDX-License-Identifier: GPL-3.0-or-later
# The XMODEM transfer window against lrzsz over a pseudo-terminal, next to the engine
# alone on the same kind of link.
if(TARVIK_BUILD_APP AND TARGET app)
  add_executable(bench_app_xmodem ${CMAKE_CURRENT_LIST_DIR}/app_xmodem.cpp
                 ${CMAKE_CURRENT_LIST_DIR}/protocol_common.cpp
                 ${CMAKE_SOURCE_DIR}/tests/protocol/LrzszPeer.cpp)
  target_include_directories(bench_app_xmodem PRIVATE ${CMAKE_SOURCE_DIR}/tests/protocol)
  target_link_libraries(bench_app_xmodem PRIVATE app test_support)
endif()
