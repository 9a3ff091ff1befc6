// The viewer's own texts: its title, the caption of its window, the message of a wrong
// command line and the list of its keys. No Qt here, so that tests without a display check
// them too, and `--help` prints them without one.
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

// Why the folder given on the command line cannot be shown ("" when it can): it does not
// exist, or it is not a folder.
std::string FolderProblem(const std::string& folder);

// One line of the key list: the keys as the user presses them, and what they do.
struct TViewerKeyText {
  const char* Keys;
  const char* Does;
};
extern const TViewerKeyText kViewerKeys[];
extern const int kViewerKeyCount;
// The key list as text, one "  KEYS  does" line per entry, aligned.
std::string ViewerKeyList();
// What `--help` prints: the usage and the key list.
std::string ViewerHelpText();

}  // namespace velora
