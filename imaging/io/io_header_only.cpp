// Header-only reads: what a file is, without its pixels. They never raise: anything that goes
// wrong (a missing, unreadable, empty or truncated file, a directory) answers FileType 0.
#include "format_descriptor.h"
#include "image_limits.h"
#include "io_private.h"
#include "velora_io.h"

namespace velora {

void TVeloraIO::ReadParamsDispatch(TVLStream& stream, int32_t fileType, bool fileForm) {
  Params_.IptcInfo.Clear();
  Params_.JpegMarkers.Clear();
  // Every reader sets the size of the image it finds; one that finds none (a GIF without
  // frames) must not pass on the size of the file read before.
  Params_.Width = Params_.Height = 0;
  ClearAborting();
  TVLProgressRecord progress = MakeProgress(false);
  const TVLFormatDescriptor* format = VLFindBuiltinFormat(fileType);
  if (format) {
    CallReader(stream, *format, fileForm, true, progress);
    // An image beyond the pixel limit cannot be opened, so it is not listed either. Readers
    // refuse such headers themselves; this also covers a size they adjust afterwards.
    if (!Aborting && !VLImageSizeAllowed(Params_.Width, Params_.Height))
      Fail(std::string(format->Name) + (Params_.Width <= 0 || Params_.Height <= 0
                                            ? std::string(": no image found")
                                            : ": " + std::to_string(Params_.Width) + " x " +
                                                  std::to_string(Params_.Height) + " declared, beyond the limit of " +
                                                  std::to_string(VLMaxPixels()) + " pixels"));
    return;
  }
  const TFileFormatInfo* entry = FindFileFormat(fileType);
  if (entry && entry->ReadProc) entry->ReadProc(stream, Target_, Params_, true, progress);
}

void TVeloraIO::ReadParamsFromFileFormat(const std::string& name, int32_t fileType) {
  Params_.FileType = fileType;
  ClearAborting();
  try {
    TVLFileStream file(name, TVLFileStream::fmOpenRead);
    ReadParamsDispatch(file, fileType, true);
  } catch (const std::exception& e) {
    Params_.FileType = ioUnknown;
    if (AbortReason.empty()) AbortReason = e.what();
  } catch (...) {
    Params_.FileType = ioUnknown;
  }
  if (Aborting) Params_.FileType = ioUnknown;
  Params_.FileName = name;
}

void TVeloraIO::ReadParamsFromFile(const std::string& name) {
  try {
    std::string why;
    const int32_t fileType = DetectVerified(name, why);
    ReadParamsFromFileFormat(name, fileType);
    // An unrecognised file is no failed read (Aborting stays false) but its FileType 0 says
    // it cannot be opened, and why is worth telling.
    if (fileType == ioUnknown && AbortReason.empty()) AbortReason = why;
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
    const int32_t fileType = DetectStreamFormat(stream);
    ReadParamsFromStreamFormat(stream, fileType);
    if (fileType == ioUnknown && AbortReason.empty()) AbortReason = io_detail::kUnrecognised;
  } catch (...) {
    Params_.FileType = ioUnknown;
  }
}

}  // namespace velora
