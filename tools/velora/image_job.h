// Loading and saving one image for the commands that transform pixels (resize, thumbnail),
// with the messages and exit statuses of `velora convert`.
#pragma once
#include <string>

#include "bitmap/toolkit_bitmap.h"
#include "io/velora_io.h"

namespace velora::tool {

// Reads `path` into `bitmap` through `io` (whose parameters the caller may have set).
int LoadImage(TVeloraIO& io, TBitmap& bitmap, const std::string& path);
// Writes `bitmap` to `path` through `io`, the format chosen by the extension.
int SaveImage(TVeloraIO& io, TBitmap& bitmap, const std::string& path);
// What the tool says after a failed read or write: the component's reason, else a guess.
std::string ReadFailure(const TVeloraIO& io);
std::string WriteFailure(const TVeloraIO& io);

}  // namespace velora::tool
