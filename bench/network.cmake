# SPDX-License-Identifier: GPL-3.0-or-later
# Network ports through ser2net, each figure next to its anchor in the same run: throughput
# both ways against socat as the client, one byte's round trip, XMODEM-1K against sx -k,
# and an idle open port's wake-ups.
add_executable(bench_network_ser2net ${CMAKE_CURRENT_LIST_DIR}/network_ser2net.cpp
               ${CMAKE_CURRENT_LIST_DIR}/protocol_common.cpp ${CMAKE_SOURCE_DIR}/tests/protocol/LrzszPeer.cpp)
target_include_directories(bench_network_ser2net PRIVATE ${CMAKE_SOURCE_DIR}/tests/protocol)
target_link_libraries(bench_network_ser2net PRIVATE protocol test_support)
