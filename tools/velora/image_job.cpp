#include "image_job.h"

#include <exception>

#include "commands.h"

namespace velora::tool {

std::string ReadFailure(const TVeloraIO& io) {
  if (!io.AbortReason.empty()) return io.AbortReason;
  return io.Params().FileType == ioUnknown ? "no reader for this file name's extension"
                                           : "the reader failed (bad, truncated or unsupported data)";
}

std::string WriteFailure(const TVeloraIO& io) {
  return io.AbortReason.empty() ? "no writer for this file name's extension, or the writer failed" : io.AbortReason;
}

int LoadImage(TVeloraIO& io, TBitmap& bitmap, const std::string& path) {
  io.AttachBitmap(&bitmap);
  io.Params().JpegApplyOrientation = AutoOrient();
  try {
    io.LoadFromFile(path);
  } catch (const EVLFileOpenError&) {
    Complain("cannot open " + path + ": " + OpenFailureReason(path));
    return kExitCannotOpen;
  } catch (const std::exception& e) {
    Complain("cannot read " + path + ": " + e.what());
    return kExitImageFailed;
  }
  if (io.Aborting || bitmap.Empty()) {
    Complain("cannot read " + path + ": " + ReadFailure(io));
    return kExitImageFailed;
  }
  return kExitOk;
}

int SaveImage(TVeloraIO& io, TBitmap& bitmap, const std::string& path) {
  io.AttachBitmap(&bitmap);
  io.SetAlphaMask(nullptr);
  // The record still describes the file that was read; the writers take their depth from it,
  // and a resampled 1-bit image is grey now.
  io.Params().BitsPerSample = bitmap.BitCount() == 1 ? 1 : 8;
  io.Params().SamplesPerPixel = bitmap.BitCount() == 1 ? 1 : 3;
  try {
    io.SaveToFile(path);
  } catch (const EVLFileCreateError&) {
    const std::string reason = CreateFailureReason(path);
    Complain("cannot create " + path + (reason.empty() ? std::string() : ": " + reason));
    return kExitCannotOpen;
  } catch (const std::exception& e) {
    Complain("cannot write " + path + ": " + e.what());
    return kExitImageFailed;
  }
  if (io.Aborting) {
    Complain("cannot write " + path + ": " + WriteFailure(io));
    return kExitImageFailed;
  }
  return kExitOk;
}

}  // namespace velora::tool
