// SPDX-License-Identifier: GPL-3.0-or-later
// Window tests run offscreen, in one application object shared by every test.
#include <gtest/gtest.h>

#include <cstdlib>

#include "app/TarvikApplication.h"

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  ::testing::InitGoogleTest(&argc, argv);
  TarvikApplication app(argc, argv);
  return RUN_ALL_TESTS();
}
