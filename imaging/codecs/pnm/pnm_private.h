// Structures shared by the portable-anymap reader and writer: the header as read, and the
// token reader both the header and the ASCII rasters go through.
#pragma once
#include <cstdint>
#include <string>

#include "base/vl_byte_reader.h"

namespace velora::pnm {

// Largest sample maximum the reader accepts: two bytes per sample.
constexpr int kMaxSampleValue = 65535;
// Tokens longer than this are no number and no magic; the reader keeps only their start so
// that a hostile run of letters cannot grow a string without bound.
constexpr size_t kMaxTokenLength = 64;

struct TPnmHeader {
  std::string magic;
  int64_t width = -1;
  int64_t height = -1;
  int64_t maxValue = -1;
  // The magic's digit 1..6, 0 when the magic is none of "P1".."P6".
  int Kind() const {
    return magic.size() == 2 && magic[0] == 'P' && magic[1] >= '1' && magic[1] <= '6' ? magic[1] - '0' : 0;
  }
  bool IsBitmap() const { return Kind() == 1 || Kind() == 4; }
};

inline bool IsAlnum(uint8_t c) { return (c >= '0' && c <= '9') || ((c | 0x20) >= 'a' && (c | 0x20) <= 'z'); }

// The next token: "#" and a comment's text (trimmed), or a run of letters and digits (the
// byte that ends it is consumed). Empty at the end of the stream.
std::string ReadToken(TVLByteReader& in);
// The decimal value of a token; −1 when it is not a number or exceeds 32 bits.
int64_t TokenNumber(const std::string& token);
// Reads the header tokens: comments go into *comments when given. At most maxTokens tokens
// are read (comments included).
void ReadHeader(TVLByteReader& in, TPnmHeader& header, std::vector<std::string>* comments, int maxTokens);

}  // namespace velora::pnm
