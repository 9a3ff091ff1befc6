// What the viewer's command line asks it to open. Besides the design's two-argument form
// (a folder and a file mask), the forms a file manager and a shell user expect:
//   TesselImageViewer FOLDER MASK   the folder's files matching the mask (unchanged)
//   TesselImageViewer FOLDER        the folder, mask *.*
//   TesselImageViewer FILE          FILE's folder, mask *.*, FILE selected and shown
//   TesselImageViewer FILE FILE...  just those files, in the order given ("Open with")
// Options may stand anywhere. No Qt here: the tests check it without a display.
#pragma once
#include <string>
#include <vector>

namespace velora {

struct TOpenRequest {
  enum class TKind {
    okUsage,   // nothing to open: the usage message
    okFolder,  // Folder and Mask (Selected: the name to select first, may be empty)
    okFiles,   // Files, as given
    okError,   // Error says why (a file or folder that is not there)
  };
  TKind Kind = TKind::okUsage;
  std::string Folder;
  std::string Mask;
  std::string Selected;
  std::vector<std::string> Files;
  std::vector<std::string> Skipped;  // of several files given, those that are not files
  std::string Error;
  bool ThumbnailCache = true;  // --no-thumbnail-cache turns it off
};

// args without the program's name.
TOpenRequest ParseOpenArguments(const std::vector<std::string>& args);

// How the viewer lists several files given: their common folder and their names in it; files
// from different folders are named by their absolute paths (without the first "/") under
// the folder "", which joins them back into those paths.
void FilesAsFolderEntries(const std::vector<std::string>& files, std::string& folder, std::vector<std::string>& names);

}  // namespace velora
