# SPDX-License-Identifier: GPL-3.0-or-later
# The XMODEM engine end to end: against lrzsz over a pseudo-terminal, and between two of
# our components over the paced virtual line.
# Against lrzsz the main thread runs the application's event loop, as in the program.
tarvik_lrzsz_bench(bench_protocol_lrzsz protocol_lrzsz.cpp)
add_executable(bench_protocol_vline ${CMAKE_CURRENT_LIST_DIR}/protocol_vline.cpp
               ${CMAKE_CURRENT_LIST_DIR}/protocol_common.cpp)
target_link_libraries(bench_protocol_vline PRIVATE protocol)
