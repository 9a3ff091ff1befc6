// The T.4 run-length code tables as the recommendation prints them (bit strings, first bit
// first), and the decoder's lookup tables built from them once on first use.
#include "fax_tables.h"

#include <cstring>
#include <vector>

namespace velora::fax {

namespace {

struct TTableRow {
  int run;
  const char* bits;
};

// T.4 Table 1: terminating codes.
constexpr TTableRow kWhiteTerminating[] = {
    {0, "00110101"}, {1, "000111"},   {2, "0111"},     {3, "1000"},     {4, "1011"},     {5, "1100"},
    {6, "1110"},     {7, "1111"},     {8, "10011"},    {9, "10100"},    {10, "00111"},   {11, "01000"},
    {12, "001000"},  {13, "000011"},  {14, "110100"},  {15, "110101"},  {16, "101010"},  {17, "101011"},
    {18, "0100111"}, {19, "0001100"}, {20, "0001000"}, {21, "0010111"}, {22, "0000011"}, {23, "0000100"},
    {24, "0101000"}, {25, "0101011"}, {26, "0010011"}, {27, "0100100"}, {28, "0011000"}, {29, "00000010"},
    {30, "00000011"}, {31, "00011010"}, {32, "00011011"}, {33, "00010010"}, {34, "00010011"},
    {35, "00010100"}, {36, "00010101"}, {37, "00010110"}, {38, "00010111"}, {39, "00101000"},
    {40, "00101001"}, {41, "00101010"}, {42, "00101011"}, {43, "00101100"}, {44, "00101101"},
    {45, "00000100"}, {46, "00000101"}, {47, "00001010"}, {48, "00001011"}, {49, "01010010"},
    {50, "01010011"}, {51, "01010100"}, {52, "01010101"}, {53, "00100100"}, {54, "00100101"},
    {55, "01011000"}, {56, "01011001"}, {57, "01011010"}, {58, "01011011"}, {59, "01001010"},
    {60, "01001011"}, {61, "00110010"}, {62, "00110011"}, {63, "00110100"},
};
constexpr TTableRow kBlackTerminating[] = {
    {0, "0000110111"},    {1, "010"},           {2, "11"},            {3, "10"},
    {4, "011"},           {5, "0011"},          {6, "0010"},          {7, "00011"},
    {8, "000101"},        {9, "000100"},        {10, "0000100"},      {11, "0000101"},
    {12, "0000111"},      {13, "00000100"},     {14, "00000111"},     {15, "000011000"},
    {16, "0000010111"},   {17, "0000011000"},   {18, "0000001000"},   {19, "00001100111"},
    {20, "00001101000"},  {21, "00001101100"},  {22, "00000110111"},  {23, "00000101000"},
    {24, "00000010111"},  {25, "00000011000"},  {26, "000011001010"}, {27, "000011001011"},
    {28, "000011001100"}, {29, "000011001101"}, {30, "000001101000"}, {31, "000001101001"},
    {32, "000001101010"}, {33, "000001101011"}, {34, "000011010010"}, {35, "000011010011"},
    {36, "000011010100"}, {37, "000011010101"}, {38, "000011010110"}, {39, "000011010111"},
    {40, "000001101100"}, {41, "000001101101"}, {42, "000011011010"}, {43, "000011011011"},
    {44, "000001010100"}, {45, "000001010101"}, {46, "000001010110"}, {47, "000001010111"},
    {48, "000001100100"}, {49, "000001100101"}, {50, "000001010010"}, {51, "000001010011"},
    {52, "000000100100"}, {53, "000000110111"}, {54, "000000111000"}, {55, "000000100111"},
    {56, "000000101000"}, {57, "000001011000"}, {58, "000001011001"}, {59, "000000101011"},
    {60, "000000101100"}, {61, "000001011010"}, {62, "000001100110"}, {63, "000001100111"},
};
// T.4 Table 2: make-up codes.
constexpr TTableRow kWhiteMakeUp[] = {
    {64, "11011"},       {128, "10010"},      {192, "010111"},     {256, "0110111"},    {320, "00110110"},
    {384, "00110111"},   {448, "01100100"},   {512, "01100101"},   {576, "01101000"},   {640, "01100111"},
    {704, "011001100"},  {768, "011001101"},  {832, "011010010"},  {896, "011010011"},  {960, "011010100"},
    {1024, "011010101"}, {1088, "011010110"}, {1152, "011010111"}, {1216, "011011000"}, {1280, "011011001"},
    {1344, "011011010"}, {1408, "011011011"}, {1472, "010011000"}, {1536, "010011001"}, {1600, "010011010"},
    {1664, "011000"},    {1728, "010011011"},
};
constexpr TTableRow kBlackMakeUp[] = {
    {64, "0000001111"},     {128, "000011001000"},  {192, "000011001001"},  {256, "000001011011"},
    {320, "000000110011"},  {384, "000000110100"},  {448, "000000110101"},  {512, "0000001101100"},
    {576, "0000001101101"}, {640, "0000001001010"}, {704, "0000001001011"}, {768, "0000001001100"},
    {832, "0000001001101"}, {896, "0000001110010"}, {960, "0000001110011"}, {1024, "0000001110100"},
    {1088, "0000001110101"}, {1152, "0000001110110"}, {1216, "0000001110111"}, {1280, "0000001010010"},
    {1344, "0000001010011"}, {1408, "0000001010100"}, {1472, "0000001010101"}, {1536, "0000001011010"},
    {1600, "0000001011011"}, {1664, "0000001100100"}, {1728, "0000001100101"},
};
// T.4 Table 3: make-up codes shared by both colours.
constexpr TTableRow kSharedMakeUp[] = {
    {1792, "00000001000"},  {1856, "00000001100"},  {1920, "00000001101"},  {1984, "000000010010"},
    {2048, "000000010011"}, {2112, "000000010100"}, {2176, "000000010101"}, {2240, "000000010110"},
    {2304, "000000010111"}, {2368, "000000011100"}, {2432, "000000011101"}, {2496, "000000011110"},
    {2560, "000000011111"},
};

TFaxRunCode Parse(const char* bits) {
  TFaxRunCode code{0, 0};
  for (const char* p = bits; *p; ++p) code.bits = uint16_t(code.bits << 1 | (*p == '1')), ++code.length;
  return code;
}

// Every index whose leading bits are the code's gets the code.
void Place(std::vector<TFaxCode>& lookup, TFaxRunCode code, TFaxCode entry) {
  entry.length = code.length;
  const int free = kFaxPeekBits - code.length;
  const int first = code.bits << free;
  for (int i = 0; i < (1 << free); ++i) lookup[size_t(first + i)] = entry;
}

// The codes both colours and the mode table share: the zero prefixes, EOL and longer zero runs.
void PlaceZeroCodes(std::vector<TFaxCode>& lookup) {
  for (int zeros = 8; zeros <= 10; ++zeros)
    Place(lookup, TFaxRunCode{1, uint8_t(zeros + 1)}, {0, 0, fcZeroPrefix});
  Place(lookup, kEolCode, {0, 0, fcEol});
  Place(lookup, TFaxRunCode{0, 12}, {0, 0, fcZeros});
}

template <size_t N>
void PlaceRuns(std::vector<TFaxCode>& lookup, const TTableRow (&rows)[N], TFaxCodeKind kind) {
  for (const TTableRow& r : rows) Place(lookup, Parse(r.bits), {int16_t(r.run), 0, kind});
}

std::vector<TFaxCode> BuildRunLookup(const TTableRow (&terminating)[64], const TTableRow (&makeUp)[27]) {
  std::vector<TFaxCode> lookup(size_t(1) << kFaxPeekBits, TFaxCode{0, 1, fcInvalid});
  PlaceRuns(lookup, terminating, fcTerminating);
  PlaceRuns(lookup, makeUp, fcMakeUp);
  PlaceRuns(lookup, kSharedMakeUp, fcMakeUp);
  PlaceZeroCodes(lookup);
  return lookup;
}

std::vector<TFaxCode> BuildModeLookup() {
  std::vector<TFaxCode> lookup(size_t(1) << kFaxPeekBits, TFaxCode{0, 1, fcInvalid});
  Place(lookup, kPassCode, {0, 0, fcPass});
  Place(lookup, kHorizontalCode, {0, 0, fcHorizontal});
  for (int offset = -3; offset <= 3; ++offset)
    Place(lookup, kVerticalCodes[offset + 3], {int16_t(offset), 0, fcVertical});
  Place(lookup, Parse("0000001111"), {0, 0, fcUncompressed});
  Place(lookup, Parse("000000001111"), {0, 0, fcUncompressed});
  Place(lookup, kEolCode, {0, 0, fcEol});
  Place(lookup, TFaxRunCode{0, 12}, {0, 0, fcZeros});
  return lookup;
}

TFaxRunCodes BuildCodes(const TTableRow (&terminating)[64], const TTableRow (&makeUp)[27]) {
  TFaxRunCodes codes{};
  for (const TTableRow& r : terminating) codes.terminating[r.run] = Parse(r.bits);
  for (const TTableRow& r : makeUp) codes.makeUp[r.run / 64] = Parse(r.bits);
  for (const TTableRow& r : kSharedMakeUp) codes.makeUp[r.run / 64] = Parse(r.bits);
  return codes;
}

}  // namespace

const TFaxCode* WhiteLookup() {
  static const std::vector<TFaxCode> lookup = BuildRunLookup(kWhiteTerminating, kWhiteMakeUp);
  return lookup.data();
}
const TFaxCode* BlackLookup() {
  static const std::vector<TFaxCode> lookup = BuildRunLookup(kBlackTerminating, kBlackMakeUp);
  return lookup.data();
}
const TFaxCode* ModeLookup() {
  static const std::vector<TFaxCode> lookup = BuildModeLookup();
  return lookup.data();
}
const TFaxRunCodes& WhiteCodes() {
  static const TFaxRunCodes codes = BuildCodes(kWhiteTerminating, kWhiteMakeUp);
  return codes;
}
const TFaxRunCodes& BlackCodes() {
  static const TFaxRunCodes codes = BuildCodes(kBlackTerminating, kBlackMakeUp);
  return codes;
}

}  // namespace velora::fax
