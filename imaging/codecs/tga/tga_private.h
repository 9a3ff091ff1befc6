// Targa file structures shared by the reader and the writer: the 18-byte header, the
// version 2 footer and extension area, and the date conversion of the extension area.
#pragma once
#include <cstdint>

namespace velora::tga {

constexpr int kHeaderSize = 18;
constexpr int kFooterSize = 26;
constexpr int kExtensionSize = 495;
constexpr char kSignature[] = "TRUEVISION-XFILE.";  // with its zero byte: 18 bytes

// Extension-area offsets.
constexpr int kExtAuthor = 2;         // 41 bytes
constexpr int kExtAuthorComment = 43;  // 324 bytes
constexpr int kExtDate = 367;         // month, day, year, hour, minute, second
constexpr int kExtJobName = 379;      // 41 bytes
constexpr int kExtJobTime = 420;
constexpr int kExtSoftwareId = 426;
constexpr int kExtSoftwareVersion = 467;
constexpr int kExtKeyColor = 470;     // 0, red, green, blue
constexpr int kExtAspect = 474;       // numerator, denominator
constexpr int kExtGamma = 478;        // numerator, denominator
constexpr int kTextField = 41;

// Image types: the kind of pixels, plus kRleType when they are run-length coded.
constexpr uint8_t ttColorMapped = 1;
constexpr uint8_t ttTrueColor = 2;
constexpr uint8_t ttGrey = 3;
constexpr uint8_t kRleType = 8;
constexpr uint8_t PixelKind(uint8_t imageType) { return imageType & 7; }

// Descriptor bits.
constexpr uint8_t kRightToLeft = 0x10;
constexpr uint8_t kTopToBottom = 0x20;

struct TTgaHeader {
  uint8_t idLength = 0;
  uint8_t colorMapType = 0;
  uint8_t imageType = 0;
  uint16_t mapFirst = 0;
  uint16_t mapLength = 0;
  uint8_t mapEntrySize = 0;
  uint16_t xOrigin = 0;
  uint16_t yOrigin = 0;
  uint16_t width = 0;
  uint16_t height = 0;
  uint8_t depth = 0;
  uint8_t descriptor = 0;

  void Parse(const uint8_t* b);
  void Serialize(uint8_t* b) const;
  bool Compressed() const { return imageType > kRleType; }
};

bool ImageTypeAccepted(int imageType);
bool DepthAccepted(int depth);

// Date-time values are days since 30 Dec 1899 with the time as the fraction.
// False when the fields make no valid date.
bool EncodeDateTime(int year, int month, int day, int hour, int minute, int second, double& value);
void DecodeDateTime(double value, int& year, int& month, int& day, int& hour, int& minute, int& second);

}  // namespace velora::tga
