// velora info [--json] FILE...: the header-only read of each file, as the folder scan does it.
#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <memory>

#include "codecs/metafile/metafile_codec.h"
#include "commands.h"
#include "io/colour_profile.h"
#include "io/folder_scan.h"
#include "io/velora_io.h"

namespace velora::tool {

namespace {

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (unsigned char c : text) {
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default:
        if (c < 0x20) {
          char buf[8];
          std::snprintf(buf, sizeof buf, "\\u%04x", c);
          out += buf;
        } else {
          out += char(c);
        }
    }
  }
  return out + "\"";
}

struct THeaderInfo {
  int32_t FileType = 0, Width = 0, Height = 0, BitsPerSample = 0, SamplesPerPixel = 0, DpiX = 0, DpiY = 0;
  int32_t ImageCount = 0;  // pages of a TIFF, frames or images of the photo formats; else 1
  std::string format, caption;
  std::string profile;  // the embedded ICC profile's description, when there is one
  bool emfPlus = false;  // an EMF with EMF+ records, which are not drawn
};

// EMF+ records draw nothing here: a file that has them is said to, as its picture may lack
// what they alone carry.
bool HasEmfPlus(const std::string& file) {
  std::ifstream in(file, std::ios::binary);
  std::vector<uint8_t> bytes;
  bytes.reserve(size_t(std::min<int64_t>(kMaxMetafileBytes, 1 << 20)));
  char buffer[1 << 16];
  while (in && int64_t(bytes.size()) < kMaxMetafileBytes) {
    in.read(buffer, sizeof buffer);
    bytes.insert(bytes.end(), buffer, buffer + in.gcount());
  }
  return MetafileHasEmfPlus(bytes);
}

THeaderInfo Describe(const TIOParamsVals& p) {
  THeaderInfo info;
  if (p.FileType == ioUnknown) return info;  // nothing of a failed read is worth showing
  info = THeaderInfo{p.FileType, p.Width, p.Height, p.BitsPerSample, p.SamplesPerPixel, p.DpiX, p.DpiY, 1, {}, {}};
  if (p.FileType == ioTIFF) info.ImageCount = std::max(p.TiffImageCount, 1);
  if (p.ImageCount > 1) info.ImageCount = p.ImageCount;
  if (!p.IccProfile.empty()) {
    info.profile = VLIccDescription(p.IccProfile);
    if (info.profile.empty()) info.profile = "unreadable, taken as sRGB";
  }
  const TFileFormatInfo* entry = FindFileFormat(p.FileType);
  info.format = entry ? entry->FullName : std::string();
  info.caption = InfoCaption(p.Width, p.Height, p.BitsPerSample, p.SamplesPerPixel);
  return info;
}

void PrintJson(const std::string& file, const THeaderInfo& i, const std::string& error) {
  std::cout << "{\"file\":" << JsonString(file) << ",\"FileType\":" << i.FileType
            << ",\"format\":" << JsonString(i.format) << ",\"Width\":" << i.Width << ",\"Height\":" << i.Height
            << ",\"BitsPerSample\":" << i.BitsPerSample << ",\"SamplesPerPixel\":" << i.SamplesPerPixel
            << ",\"DpiX\":" << i.DpiX << ",\"DpiY\":" << i.DpiY << ",\"ImageCount\":" << i.ImageCount
            << ",\"caption\":" << JsonString(i.caption);
  if (!i.profile.empty()) std::cout << ",\"Profile\":" << JsonString(i.profile);
  if (i.emfPlus) std::cout << ",\"EmfPlus\":true";
  if (!error.empty()) std::cout << ",\"error\":" << JsonString(error);
  std::cout << "}\n";
}

void PrintText(const std::string& file, const THeaderInfo& i) {
  if (i.FileType == ioUnknown)
    std::cout << file << ": unknown\n";
  else
    std::cout << file << ": " << i.format << ", " << i.caption << ", " << i.DpiX << "x" << i.DpiY << " dpi"
              << (i.ImageCount > 1 ? ", " + std::to_string(i.ImageCount) + " pages" : std::string())
              << (i.profile.empty() ? std::string() : ", profile \"" + i.profile + "\"")
              << (i.emfPlus ? ", EMF+ records not drawn" : "") << "\n";
}

}  // namespace

int CmdInfo(const std::vector<std::string>& args) {
  bool json = false;
  std::vector<std::string> files;
  for (const auto& a : args) {
    if (a == "--json")
      json = true;
    else
      files.push_back(a);
  }
  if (files.empty()) {
    Complain("usage: velora info [--json] FILE...");
    return kExitUsage;
  }
  int status = kExitOk;
  for (const auto& file : files) {
    auto io = std::make_unique<TVeloraIO>();  // a fresh record: nothing left over from the previous file
    io->Params().JpegApplyOrientation = AutoOrient();
    io->ReadParamsFromFile(file);
    THeaderInfo info = Describe(io->Params());
    if (info.FileType == ioEMF) info.emfPlus = HasEmfPlus(file);
    std::string error;
    if (info.FileType == ioUnknown) {
      const std::string openFailure = OpenFailureReason(file);
      if (!openFailure.empty()) {
        error = openFailure;
        Complain("cannot open " + file + ": " + error);
        status = std::max<int>(status, kExitCannotOpen);
      } else {
        error = io->AbortReason.empty() ? std::string("bad, truncated or unsupported header") : io->AbortReason;
        Complain("cannot read " + file + ": " + error);
        status = std::max<int>(status, kExitImageFailed);
      }
    }
    if (json)
      PrintJson(file, info, error);
    else
      PrintText(file, info);
  }
  return status;
}

}  // namespace velora::tool
