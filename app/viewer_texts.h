// The viewer's own texts: its title, the caption of its window and the message of a wrong
// command line. No Qt here, so that tests without a display check them too.
#pragma once
#include <string>

namespace velora {

// The application title.
extern const char* const kViewerTitle;
// The message shown when the viewer gets fewer than two arguments: three lines, an empty one
// after the first, joined by "\n".
extern const char* const kViewerUsageText;

// "Tessel Image Viewer [" + folder + "/" + mask + "]".
std::string ViewerCaption(const std::string& folder, const std::string& mask);

}  // namespace velora
