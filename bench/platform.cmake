# SPDX-License-Identifier: GPL-3.0-or-later
# Platform layer: raw device throughput, wake-up latency and idle cost.
add_executable(bench_platform_devices ${CMAKE_CURRENT_LIST_DIR}/platform_devices.cpp)
target_link_libraries(bench_platform_devices PRIVATE platform)
