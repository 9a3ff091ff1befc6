// GIF LZW decoder. All data sub-blocks are gathered into memory first; decoding then runs over
// that buffer with a 64-bit bit reader. Every table entry is remembered as the place in the
// output where its string was last written plus its length, so emitting a string is one copy
// from earlier output instead of a walk down a prefix chain.
#include <cstring>
#include <vector>

#include "gif_codec.h"
#include "gif_private.h"

namespace velora {

namespace {

using gif::kLzwMaxBits;
using gif::kLzwTableSize;

// Bytes kept zero after the gathered data so that the bit reader may always load 8 bytes.
constexpr size_t kReadSlack = 8;

// Appends the data sub-blocks (length byte, data) to `out` until a zero length or the end of
// the stream. A block cut short by the end of the stream keeps the bytes that were there.
void GatherSubBlocks(TVLStream& stream, std::vector<uint8_t>& out) {
  for (;;) {
    uint8_t length = 0;
    if (stream.Read(&length, 1) != 1 || length == 0) return;
    size_t used = out.size();
    out.resize(used + length);
    int64_t got = stream.Read(out.data() + used, length);
    if (got < length) {
      out.resize(used + size_t(got > 0 ? got : 0));
      return;
    }
  }
}

// Copies `count` bytes within the output from `from` to `to` (from < to). The source may
// overlap the destination (a string that repeats its own beginning); a forward byte copy
// then repeats the pattern as the code means.
inline void CopyString(uint8_t* out, int64_t from, int64_t to, uint32_t count, int64_t room) {
  uint8_t* dst = out + to;
  const uint8_t* src = out + from;
  int64_t distance = to - from;
  if (count <= 16 && distance >= 16 && room >= 16) {
    std::memcpy(dst, src, 16);  // the bytes past `count` are rewritten by the next strings
  } else if (distance >= int64_t(count)) {
    std::memcpy(dst, src, count);
  } else {
    for (uint32_t i = 0; i < count; ++i) dst[i] = src[i];
  }
}

// Decodes the code stream of minimum code size `codeSize` into `out` (total bytes, in the
// order the pixels come). Returns the number of pixels written; the frame is complete when
// that equals total.
int64_t DecodeCodes(const uint8_t* data, size_t size, int codeSize, uint8_t* out, int64_t total) {
  const uint32_t clearCode = 1u << codeSize;
  const uint32_t endCode = clearCode + 1;
  const uint64_t totalBits = uint64_t(size) * 8;

  // Where each entry's string lies in the output, and its length.
  std::vector<uint32_t> offsets(kLzwTableSize), lengths(kLzwTableSize);

  uint32_t width = codeSize + 1;
  uint32_t nextFree = clearCode + 2;
  uint32_t limit = 1u << width;
  bool tableFull = false;
  bool havePrevious = false;
  uint32_t previousLength = 0;
  int64_t previousPos = 0;
  uint64_t bitPos = 0;
  int64_t pos = 0;

  while (pos < total && bitPos + width <= totalBits) {
    uint64_t word;
    std::memcpy(&word, data + (bitPos >> 3), 8);
    uint32_t code = uint32_t(word >> (bitPos & 7)) & ((1u << width) - 1);
    bitPos += width;

    if (code == clearCode) {
      width = codeSize + 1;
      nextFree = clearCode + 2;
      limit = 1u << width;
      tableFull = false;
      havePrevious = false;
      continue;
    }
    if (code == endCode) break;

    if (!havePrevious) {
      // The first code after a clear can only be a single pixel; anything else is read as 0.
      if (code >= nextFree) code = 0;
      out[pos] = uint8_t(code);
      previousPos = pos++;
      previousLength = 1;
      havePrevious = true;
      continue;
    }

    if (code > nextFree) break;  // refers to an entry not defined yet
    if (!tableFull) {
      // The new entry is the previous string plus the first byte of this one. It lies in the
      // output where the previous string starts, one byte longer: the next string follows it
      // directly. When the code is the entry being defined, that byte is its own first byte.
      offsets[nextFree] = uint32_t(previousPos);
      lengths[nextFree] = previousLength + 1;
      if (++nextFree == limit) {
        if (width < uint32_t(kLzwMaxBits)) {
          ++width;
          limit <<= 1;
        } else {
          // A full table stays in use, its codes valid, until a clear code comes.
          tableFull = true;
        }
      }
    } else if (code == nextFree) {
      break;
    }

    int64_t room = total - pos;
    uint32_t length;
    if (code < clearCode) {
      out[pos] = uint8_t(code);
      length = 1;
    } else {
      length = lengths[code];
      CopyString(out, offsets[code], pos, length <= room ? length : uint32_t(room), room);
    }
    previousPos = pos;
    previousLength = length;
    pos += length <= room ? length : room;
  }
  return pos;
}

}  // namespace

void GifLzwDecode(TVLStream& stream, int height, int width, uint8_t* output, bool interlaced) {
  const int64_t start = stream.Position();
  uint8_t codeSize = 0;
  if (stream.Read(&codeSize, 1) != 1 || codeSize < gif::kLzwMinCodeSize || codeSize > gif::kLzwMaxCodeSize ||
      height <= 0 || width <= 0 || !output) {
    stream.SetPosition(start);
    return;
  }
  std::vector<uint8_t> data;
  GatherSubBlocks(stream, data);
  if (data.empty()) {
    stream.SetPosition(start);
    return;
  }
  data.resize(data.size() + kReadSlack, 0);
  const size_t dataSize = data.size() - kReadSlack;
  const int64_t total = int64_t(width) * height;

  int64_t decoded;
  if (!interlaced) {
    decoded = DecodeCodes(data.data(), dataSize, codeSize, output, total);
  } else {
    // Rows come pass by pass: decode them in that order, then put each row in its place.
    std::vector<uint8_t> passOrder(size_t(total), 0);
    decoded = DecodeCodes(data.data(), dataSize, codeSize, passOrder.data(), total);
    gif::ForEachInterlacedRow(height, [&](int k, int row) {
      int64_t from = int64_t(k) * width;
      if (from >= decoded) return;
      int64_t count = decoded - from < width ? decoded - from : width;
      std::memcpy(output + int64_t(row) * width, passOrder.data() + from, size_t(count));
    });
  }
  // A frame left incomplete is a failure; what was decoded stays in the output.
  if (decoded < total) stream.SetPosition(start);
}

}  // namespace velora
