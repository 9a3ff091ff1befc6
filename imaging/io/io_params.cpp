#include "io_params.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstring>
#include <ctime>
#include <mutex>
#include <utility>

#include "io_private.h"
#include "velora_io.h"
#include "bitmap/view_link.h"

namespace velora {

namespace {

// Atomic, so that even a program that breaks the set-once rule gives a reader a whole value
// rather than a data race; the once flags make the rule itself.
std::atomic<TGifLzwDecompFunc> gGifDecode{nullptr};
std::atomic<TGifLzwCompFunc> gGifEncode{nullptr};
std::atomic<TTiffLzwDecompFunc> gTiffDecode{nullptr};
std::atomic<TTiffLzwCompFunc> gTiffEncode{nullptr};
std::once_flag gLzwInstalled;

// Both resolutions in one word, so that no reader sees the new X with the old Y.
constexpr uint64_t PackDpi(int dpiX, int dpiY) {
  return uint64_t(uint32_t(dpiX > 0 ? dpiX : 96)) << 32 | uint32_t(dpiY > 0 ? dpiY : 96);
}
std::atomic<uint64_t> gDefaultDpi{PackDpi(96, 96)};
std::once_flag gDefaultDpiSet;

void StoreLzwCoders(const TVLLzwCoders& coders) {
  gGifDecode.store(coders.gifDecode, std::memory_order_release);
  gGifEncode.store(coders.gifEncode, std::memory_order_release);
  gTiffDecode.store(coders.tiffDecode, std::memory_order_release);
  gTiffEncode.store(coders.tiffEncode, std::memory_order_release);
}

TVLLzwCoders LoadLzwCoders() {
  return {gGifDecode.load(std::memory_order_acquire), gGifEncode.load(std::memory_order_acquire),
          gTiffDecode.load(std::memory_order_acquire), gTiffEncode.load(std::memory_order_acquire)};
}

}  // namespace

bool InstallLzwCoders(const TVLLzwCoders& coders) {
  bool installed = false;
  std::call_once(gLzwInstalled, [&] {
    StoreLzwCoders(coders);
    installed = true;
  });
  return installed;
}

TGifLzwDecompFunc DefGifLzwDecompFunc() { return gGifDecode.load(std::memory_order_acquire); }
TGifLzwCompFunc DefGifLzwCompFunc() { return gGifEncode.load(std::memory_order_acquire); }
TTiffLzwDecompFunc DefTiffLzwDecompFunc() { return gTiffDecode.load(std::memory_order_acquire); }
TTiffLzwCompFunc DefTiffLzwCompFunc() { return gTiffEncode.load(std::memory_order_acquire); }

int DefaultDpiX() { return int(gDefaultDpi.load(std::memory_order_relaxed) >> 32); }
int DefaultDpiY() { return int(gDefaultDpi.load(std::memory_order_relaxed) & 0xFFFFFFFFu); }

bool SetDefaultDpi(int dpiX, int dpiY) {
  bool set = false;
  std::call_once(gDefaultDpiSet, [&] {
    gDefaultDpi.store(PackDpi(dpiX, dpiY), std::memory_order_relaxed);
    set = true;
  });
  return set;
}

namespace io_detail {

TVLLzwCoders SwapLzwCodersForTest(const TVLLzwCoders& coders) {
  const TVLLzwCoders previous = LoadLzwCoders();
  StoreLzwCoders(coders);
  return previous;
}

std::pair<int, int> SwapDefaultDpiForTest(int dpiX, int dpiY) {
  const std::pair<int, int> previous{DefaultDpiX(), DefaultDpiY()};
  gDefaultDpi.store(PackDpi(dpiX, dpiY), std::memory_order_relaxed);
  return previous;
}

}  // namespace io_detail

double VLDateToday() {
  // Days from 30 Dec 1899 to 1 Jan 1970 are 25569.
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  local.tm_hour = 12;  // noon: immune to daylight-saving shifts when converting back
  local.tm_min = local.tm_sec = 0;
  std::time_t noon = timegm(&local);
  return double(noon / 86400 + 25569);
}

TIOParamsVals::TIOParamsVals(TVeloraIO* owner) : IO(owner) { ResetParams(); }

TIOParamsVals::~TIOParamsVals() = default;

void TIOParamsVals::SetColorMap(const TRGB* entries, int count) {
  if (count <= 0 || !entries) {
    ColorMap_.clear();
    return;
  }
  ColorMap_.assign(entries, entries + count);
}

void TIOParamsVals::FreeColorMap() { ColorMap_.clear(); }

void TIOParamsVals::ResetParams() {
  // Width, Height and the resolution stay as they are unless the owner has a bitmap or view.
  const int32_t width = Width, height = Height, dpiX = DpiX, dpiY = DpiY;
  static_cast<TIOParamsFields&>(*this) = TIOParamsFields{};
  Width = width, Height = height, DpiX = dpiX, DpiY = dpiY;
  if (IO) {
    if (TBitmap* target = IO->GetTarget()) {
      Width = target->Width();
      Height = target->Height();
    }
    if (TVLViewLink* view = IO->AttachedVelora()) {
      DpiX = view->DpiX();
      DpiY = view->DpiY();
    }
  }
  const TVLLzwCoders coders = LoadLzwCoders();
  TiffLzwDecompressor = coders.tiffDecode;
  TiffLzwCompressor = coders.tiffEncode;
  GifLzwDecompressor = coders.gifDecode;
  GifLzwCompressor = coders.gifEncode;
  TgaDate = VLDateToday();
  JpegMarkers.Clear();
  IptcInfo.Clear();
  ExifThumbnail.Reset(1, 1, TPixelFormat::pf24bit);
}

void TIOParamsVals::AssignParams(const TIOParamsVals& source) {
  if (&source == this) return;
  static_cast<TIOParamsFields&>(*this) = source;
  JpegMarkers.Assign(source.JpegMarkers);
  IptcInfo.Assign(source.IptcInfo);
  ExifThumbnail.Assign(source.ExifThumbnail);
}

}  // namespace velora
