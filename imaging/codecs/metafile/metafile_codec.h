// Windows metafiles (WMF, EMF): the header facts the scan lists and the player that draws
// the records onto the library's 24-bit bitmaps. Records are parsed with libuemf and drawn
// with cairo; neither shows outside this folder.
#pragma once
#include <cstdint>
#include <span>

#include "base/progress.h"
#include "bitmap/toolkit_bitmap.h"
#include "io/format_descriptor.h"

namespace velora {

// The kind and the picture frame (at the default resolution) of a whole metafile in memory;
// false with a reason when the bytes are no metafile or give it no size.
bool MetafileProbe(std::span<const uint8_t> bytes, TVLMetafileFacts& facts, TVLProgressRecord& progress);
// Plays the records onto the target's pixels, the picture stretched over width × height.
void MetafileDraw(std::span<const uint8_t> bytes, TBitmap& target, int width, int height, TVLProgressRecord& progress);
// The header-only read of the front: the size ImportMetafile(name, -1, -1) makes.
void MetafileReadStream(const TVLReadJob& job);
// Whether an enhanced metafile carries EMF+ records (in its comments). The player draws the
// plain records beside them only: what EMF+ alone says (transparency, antialiasing hints)
// is not drawn, and tools say so.
bool MetafileHasEmfPlus(std::span<const uint8_t> bytes);

}  // namespace velora
