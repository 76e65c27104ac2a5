# SPDX-License-Identifier: GPL-3.0-or-later
# The terminal pane under a flood of received text: bytes shown per second, CPU time,
# the longest stall of the event loop, and the pane checked against the flood.
if(TARVIK_BUILD_APP AND TARGET app)
  add_executable(bench_app_terminal ${CMAKE_CURRENT_LIST_DIR}/app_terminal.cpp)
  target_link_libraries(bench_app_terminal PRIVATE app)
endif()
