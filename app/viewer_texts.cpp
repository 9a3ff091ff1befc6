#include "viewer_texts.h"

#include <sys/stat.h>

#include <algorithm>
#include <cstring>

namespace velora {

const char* const kViewerTitle = "Tessel Image Viewer";
const char* const kViewerUsageText =
    "Incorrect number of parameters !\n"
    "\n"
    "Usage: TesselImageViewer <Folder> <FileMask>\n"
    "Example: TesselImageViewer ~/Pictures/Medical 'A1964*.*'";

std::string ViewerCaption(const std::string& folder, const std::string& mask) {
  return std::string(kViewerTitle) + " [" + folder + "/" + mask + "]";
}

std::string FolderProblem(const std::string& folder) {
  struct stat st {};
  if (::stat(folder.c_str(), &st) != 0) return "The folder " + folder + " does not exist.";
  if (!S_ISDIR(st.st_mode)) return folder + " is a file, not a folder.";
  return {};
}

const TViewerKeyText kViewerKeys[] = {
    {"Up, Down, Page Up, Page Down", "move through the column"},
    {"Space, Backspace", "next, previous picture"},
    {"Home, End", "first, last picture"},
    {"+, =", "zoom in"},
    {"-", "zoom out"},
    {"0, 1", "zoom 1:1"},
    {"Z", "fit the picture to the window"},
    {"F, F11", "full screen (Escape leaves it)"},
    {"Esc", "leave full screen, end the slideshow"},
    {"S", "slideshow (any key pauses, S goes on, Escape ends it)"},
    {"[, ]", "turn the view a quarter turn left, right (the file is not changed)"},
    {"Ctrl+Z", "undo the last delete, else the last Color Adjust or Effects change"},
    {"Del", "move the file to the trash (asks first unless told not to)"},
    {"F2", "rename the file"},
    {"Ctrl+C, Ctrl+Shift+C", "copy the picture, the file's path"},
    {"Ctrl+O", "open another folder"},
    {"R", "reload the picture from its file"},
    {"Ctrl+PgDown, Ctrl+PgUp", "next, previous page of a file with pages (TIFF)"},
    {"P", "pause or resume an animated GIF"},
    {"I, Ctrl+K", "show or hide the information panel"},
    {"F1, ?", "this list of keys"},
    {"Wheel", "zoom (or, with the setting Wheel=browse: next, previous; Ctrl+wheel zooms)"},
};
const int kViewerKeyCount = int(sizeof kViewerKeys / sizeof kViewerKeys[0]);

std::string ViewerKeyList() {
  size_t width = 0;
  for (const TViewerKeyText& k : kViewerKeys) width = std::max(width, std::strlen(k.Keys));
  std::string text;
  for (const TViewerKeyText& k : kViewerKeys)
    text += "  " + std::string(k.Keys) + std::string(width + 2 - std::strlen(k.Keys), ' ') + k.Does + "\n";
  return text;
}

std::string ViewerHelpText() {
  return "Usage: TesselImageViewer <Folder> <FileMask> [--no-thumbnail-cache]\n"
         "       TesselImageViewer <Folder>            every file of the folder\n"
         "       TesselImageViewer <File>              its folder, with the file shown\n"
         "       TesselImageViewer <File> <File>...    just these files\n"
         "Example: TesselImageViewer ~/Pictures/Medical 'A1964*.*'\n"
         "\n"
         "Keys:\n" +
         ViewerKeyList();
}

}  // namespace velora
