# SPDX-License-Identifier: GPL-3.0-or-later
# An idle Tarvik connected to an adapter, then after the adapter is pulled: the wake-ups
# of each thread over 5 s (only the main window's own timers should wake anything).
if(TARVIK_BUILD_APP AND TARGET app AND TARGET test_support)
  add_executable(bench_app_idle ${CMAKE_CURRENT_LIST_DIR}/app_idle.cpp)
  target_link_libraries(bench_app_idle PRIVATE app test_support)
endif()
