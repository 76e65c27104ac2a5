# SPDX-License-Identifier: GPL-3.0-or-later
# Port component: WriteChar cost, end-to-end throughput, receive latency, idle cost.
if(benchmark_FOUND)
  add_executable(bench_serial_writechar ${CMAKE_CURRENT_LIST_DIR}/serial_writechar.cpp)
  target_link_libraries(bench_serial_writechar PRIVATE serial test_support benchmark::benchmark)
endif()
add_executable(bench_serial_endtoend ${CMAKE_CURRENT_LIST_DIR}/serial_endtoend.cpp)
target_link_libraries(bench_serial_endtoend PRIVATE serial test_support)
add_executable(bench_serial_pacedline ${CMAKE_CURRENT_LIST_DIR}/serial_pacedline.cpp)
target_link_libraries(bench_serial_pacedline PRIVATE serial test_support)
