#include "io_params.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <ctime>

#include "velora_io.h"
#include "bitmap/view_link.h"

namespace velora {

TGifLzwDecompFunc DefGifLzwDecompFunc = nullptr;
TGifLzwCompFunc DefGifLzwCompFunc = nullptr;
TTiffLzwDecompFunc DefTiffLzwDecompFunc = nullptr;
TTiffLzwCompFunc DefTiffLzwCompFunc = nullptr;

namespace {
int gDefaultDpiX = 96;
int gDefaultDpiY = 96;
}  // namespace

int DefaultDpiX() { return gDefaultDpiX; }
int DefaultDpiY() { return gDefaultDpiY; }
void SetDefaultDpi(int dpiX, int dpiY) {
  gDefaultDpiX = dpiX > 0 ? dpiX : 96;
  gDefaultDpiY = dpiY > 0 ? dpiY : 96;
}

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
  TiffLzwDecompressor = DefTiffLzwDecompFunc;
  TiffLzwCompressor = DefTiffLzwCompFunc;
  GifLzwDecompressor = DefGifLzwDecompFunc;
  GifLzwCompressor = DefGifLzwCompFunc;
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
