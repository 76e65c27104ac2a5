# SPDX-License-Identifier: GPL-3.0-or-later
# The XMODEM transfer window against lrzsz over a pseudo-terminal, next to the engine
# alone on the same kind of link.
tarvik_lrzsz_bench(bench_app_xmodem app_xmodem.cpp)
