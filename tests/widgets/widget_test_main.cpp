// The widget tests need an application object alive around every test: the viewer's own,
// so that its handler for exceptions escaping event handlers is the one under test.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "tessel_application.h"

int main(int argc, char** argv) {
  if (!std::getenv("QT_QPA_PLATFORM")) setenv("QT_QPA_PLATFORM", "offscreen", 0);
  // The viewer keeps thumbnails in the desktop's cache: the tests keep theirs in a folder of
  // their own, which goes with them.
  char cache[] = "/tmp/velora-widget-tests.XXXXXX";
  const bool ownCache = mkdtemp(cache) != nullptr;
  if (ownCache) setenv("XDG_CACHE_HOME", cache, 1);
  // ... and their settings too: the viewer's kept settings never leak into another test run.
  char config[] = "/tmp/velora-widget-config.XXXXXX";
  const bool ownConfig = mkdtemp(config) != nullptr;
  if (ownConfig) setenv("XDG_CONFIG_HOME", config, 1);
  TesselApplication app(argc, argv);
  // A modal message box would wait for a click that never comes: report on stderr instead.
  TesselApplication::ShowException = [](const std::string& message) {
    std::fprintf(stderr, "message box: %s\n", message.c_str());
  };
  ::testing::InitGoogleTest(&argc, argv);
  const int result = RUN_ALL_TESTS();
  if (ownCache) std::filesystem::remove_all(cache);
  if (ownConfig) std::filesystem::remove_all(config);
  return result;
}
