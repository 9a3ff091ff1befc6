// The widget tests need an application object alive around every test: the viewer's own,
// so that its handler for exceptions escaping event handlers is the one under test.
#include <gtest/gtest.h>

#include <cstdlib>

#include "tessel_application.h"

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 0);
  TesselApplication app(argc, argv);
  ::testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
