// Header-only reads: what a file is, without its pixels. They never raise: anything that goes
// wrong (a missing, unreadable, empty or truncated file, a directory) answers FileType 0.
#include "image_limits.h"
#include "io_internal.h"
#include "velora_io.h"

namespace velora {

namespace {
bool IsBuiltinHeaderReader(int32_t fileType) {
  return (fileType >= ioTIFF && fileType <= ioPNG) || fileType == ioTGA || fileType == ioPXM;
}
}  // namespace

void TVeloraIO::ReadParamsDispatch(TVLStream& stream, int32_t fileType, bool fileForm) {
  Params_.IptcInfo.Clear();
  Params_.JpegMarkers.Clear();
  // Every reader sets the size of the image it finds; one that finds none (a GIF without
  // frames) must not pass on the size of the file read before.
  Params_.Width = Params_.Height = 0;
  ClearAborting();
  TVLProgressRecord progress = MakeProgress(false);
  if (IsBuiltinHeaderReader(fileType)) {
    if (!CallReader(stream, fileType, fileForm, true, progress)) Aborting = true;
    // An image beyond the pixel limit cannot be opened, so it is not listed either.
    if (!Aborting && !VLImageSizeAllowed(Params_.Width, Params_.Height)) Aborting = true;
    return;
  }
  const TFileFormatInfo* entry = FindFileFormat(fileType);
  if (entry && entry->ReadProc) entry->ReadProc(stream, Target_, Params_, true, progress);
}

void TVeloraIO::ReadParamsFromFileFormat(const std::string& name, int32_t fileType) {
  Params_.FileType = fileType;
  try {
    TVLFileStream file(name, TVLFileStream::fmOpenRead);
    ReadParamsDispatch(file, fileType, true);
  } catch (...) {
    Params_.FileType = ioUnknown;
  }
  if (Aborting) Params_.FileType = ioUnknown;
  Params_.FileName = name;
}

void TVeloraIO::ReadParamsFromFile(const std::string& name) {
  try {
    ReadParamsFromFileFormat(name, DetectFileFormat(name, true));
  } catch (...) {
    Params_.FileType = ioUnknown;
  }
}

void TVeloraIO::ReadParamsFromStreamFormat(TVLStream& stream, int32_t fileType) {
  Params_.FileType = fileType;
  try {
    ReadParamsDispatch(stream, fileType, false);
  } catch (...) {
    Params_.FileType = ioUnknown;
  }
  if (Aborting) Params_.FileType = ioUnknown;
  Params_.FileName.clear();
}

void TVeloraIO::ReadParamsFromStream(TVLStream& stream) {
  try {
    ReadParamsFromStreamFormat(stream, DetectStreamFormat(stream));
  } catch (...) {
    Params_.FileType = ioUnknown;
  }
}

}  // namespace velora
