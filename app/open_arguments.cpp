#include "open_arguments.h"

#include <limits.h>
#include <stdlib.h>
#include <sys/stat.h>

namespace velora {

namespace {

enum class TPathKind { pkNone, pkFolder, pkFile };

TPathKind KindOf(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return TPathKind::pkNone;
  return S_ISDIR(st.st_mode) ? TPathKind::pkFolder : TPathKind::pkFile;
}

constexpr const char* kAllFiles = "*.*";

}  // namespace

TOpenRequest ParseOpenArguments(const std::vector<std::string>& args) {
  TOpenRequest request;
  std::vector<std::string> rest;
  for (const std::string& arg : args) {
    if (arg == "--no-thumbnail-cache")
      request.ThumbnailCache = false;
    else
      rest.push_back(arg);
  }
  if (rest.empty()) return request;

  // The design's form keeps its meaning whenever the first of two arguments is not a file:
  // the second is a mask even if a file of that name happens to exist. A file followed by
  // something that is not (a mask) is that form too, with a file for a folder: reported as
  // such, like a folder that is missing.
  if (rest.size() == 2 && (KindOf(rest[0]) != TPathKind::pkFile || KindOf(rest[1]) == TPathKind::pkNone)) {
    request.Kind = TOpenRequest::TKind::okFolder;
    request.Folder = rest[0];
    request.Mask = rest[1];
    return request;
  }
  if (rest.size() == 1) {
    const std::string& path = rest[0];
    switch (KindOf(path)) {
      case TPathKind::pkFolder:
        request.Kind = TOpenRequest::TKind::okFolder;
        request.Folder = path;
        request.Mask = kAllFiles;
        break;
      case TPathKind::pkFile: {
        const size_t slash = path.find_last_of('/');
        request.Kind = TOpenRequest::TKind::okFolder;
        request.Folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
        request.Selected = slash == std::string::npos ? path : path.substr(slash + 1);
        request.Mask = kAllFiles;
        break;
      }
      case TPathKind::pkNone:
        request.Kind = TOpenRequest::TKind::okError;
        request.Error = "No such file or folder: " + path;
        break;
    }
    return request;
  }
  for (const std::string& path : rest) (KindOf(path) == TPathKind::pkFile ? request.Files : request.Skipped).push_back(path);
  if (request.Files.empty()) {
    request.Kind = TOpenRequest::TKind::okError;
    request.Error = "None of the files given is there: " + rest[0] + (rest.size() > 1 ? ", ..." : "");
  } else {
    request.Kind = TOpenRequest::TKind::okFiles;
  }
  return request;
}

void FilesAsFolderEntries(const std::vector<std::string>& files, std::string& folder, std::vector<std::string>& names) {
  names.clear();
  std::vector<std::string> absolute;
  for (const std::string& file : files) {
    char resolved[PATH_MAX];
    const size_t slash = file.find_last_of('/');
    const std::string dir = slash == std::string::npos ? "." : slash == 0 ? "/" : file.substr(0, slash);
    // The folder resolved, the name kept (a link given is listed under its own name).
    absolute.push_back(::realpath(dir.c_str(), resolved) ? std::string(resolved) + "/" + file.substr(slash + 1) : file);
  }
  folder.clear();
  bool common = true;
  for (const std::string& path : absolute) {
    const std::string dir = path.substr(0, path.find_last_of('/'));
    if (&path == &absolute.front()) folder = dir;
    common &= dir == folder;
  }
  if (common && !absolute.empty()) {
    for (const std::string& path : absolute) names.push_back(path.substr(path.find_last_of('/') + 1));
    if (folder.empty()) folder = "/";
    return;
  }
  folder.clear();
  for (const std::string& path : absolute) names.push_back(path.substr(1));
}

}  // namespace velora
