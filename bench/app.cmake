# SPDX-License-Identifier: GPL-3.0-or-later
# The application: start-up time to the main window shown and resident memory then;
# a screenshot of the main window.
if(TARVIK_BUILD_APP AND TARGET app)
  add_executable(bench_app_startup ${CMAKE_CURRENT_LIST_DIR}/app_startup.cpp)
  target_link_libraries(bench_app_startup PRIVATE app)
  add_executable(app_screenshot ${CMAKE_CURRENT_LIST_DIR}/app_screenshot.cpp)
  target_link_libraries(app_screenshot PRIVATE app)
endif()
