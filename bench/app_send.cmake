# SPDX-License-Identifier: GPL-3.0-or-later
# File sends from the main window over pseudo-terminals: a text file against the
# round-trip limit of the line, and a binary file under CTS next to the per-byte loop it
# replaced, also over a paced line.
if(TARVIK_BUILD_APP AND TARGET app AND TARGET boardsim)
  add_executable(bench_app_send ${CMAKE_CURRENT_LIST_DIR}/app_send.cpp)
  target_link_libraries(bench_app_send PRIVATE app boardsim test_support util)
endif()
