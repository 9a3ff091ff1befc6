// The code tables of ITU-T T.4 and T.6, and the lookup tables the fax decoder builds from them
// once. A lookup table is indexed by the next kFaxPeekBits bits of the data and gives the code
// that starts there, so a code costs one lookup instead of a walk down its tree.
#pragma once
#include <cstdint>

namespace velora::fax {

// The kinds of code a lookup can find.
enum TFaxCodeKind : uint8_t {
  fcInvalid,       // no code starts with these bits: skip one bit
  fcTerminating,   // a run of 0..63, after which the colour switches
  fcMakeUp,        // a run of a multiple of 64, after which the colour stays
  fcZeroPrefix,    // 8, 9 or 10 zero bits and a one: consumed, nothing else
  fcEol,           // 11 zero bits and a one
  fcZeros,         // at least 12 zero bits: EOL with fill, or a flood
  fcPass,
  fcHorizontal,
  fcVertical,      // value: a1 - b1, -3..3
  fcUncompressed,  // entry into uncompressed mode
};

struct TFaxCode {
  int16_t value;   // run length, or vertical offset
  uint8_t length;  // bits
  uint8_t kind;
};

constexpr int kFaxPeekBits = 13;  // the longest code (black make-up) has 13 bits

// Lookup tables for white runs, black runs and the two-dimensional mode codes, each with
// 1 << kFaxPeekBits entries.
const TFaxCode* WhiteLookup();
const TFaxCode* BlackLookup();
const TFaxCode* ModeLookup();

// Code bits (right-aligned) and length of each run code, for the encoder: terminating codes
// 0..63, make-up codes for 64..2560 by run / 64.
struct TFaxRunCode {
  uint16_t bits;
  uint8_t length;
};
struct TFaxRunCodes {
  TFaxRunCode terminating[64];
  TFaxRunCode makeUp[41];  // index run / 64, 1..40
};
const TFaxRunCodes& WhiteCodes();
const TFaxRunCodes& BlackCodes();

// Mode codes of the two-dimensional coder.
constexpr TFaxRunCode kPassCode{0b0001, 4};
constexpr TFaxRunCode kHorizontalCode{0b001, 3};
constexpr TFaxRunCode kVerticalCodes[7] = {  // a1 - b1 = -3 .. 3
    {0b0000010, 7}, {0b000010, 6}, {0b010, 3}, {0b1, 1}, {0b011, 3}, {0b000011, 6}, {0b0000011, 7}};
constexpr TFaxRunCode kEolCode{0b000000000001, 12};

}  // namespace velora::fax
