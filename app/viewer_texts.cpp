#include "viewer_texts.h"

namespace velora {

const char* const kViewerTitle = "Tessel Image Viewer";
const char* const kViewerUsageText =
    "Incorrect number of parameters !\n"
    "\n"
    "Usage: TesselImageViewer <Folder> <FileMask>\n"
    "Example: TesselImageViewer \"C:\\My Pictures\\Medical\" A1964*.*";

std::string ViewerCaption(const std::string& folder, const std::string& mask) {
  return std::string(kViewerTitle) + " [" + folder + "/" + mask + "]";
}

}  // namespace velora
