// The parameter record: defaults of a free-standing component's record, copies that do not
// share anything with their source, and the process-wide settings it starts from.
#include "codecs/formats.h"
#include "codecs/gif/gif_codec.h"
#include "io_test_support.h"

namespace velora {
namespace {

TEST(IOParams, DefaultsOfAFreeStandingComponent) {
  TVeloraIO io;
  const TIOParamsVals& p = io.Params();
  EXPECT_EQ(p.IO, &io);
  EXPECT_EQ(p.Width, 0);
  EXPECT_EQ(p.Height, 0);
  EXPECT_EQ(p.DpiX, 0);
  EXPECT_EQ(p.DpiY, 0);
  EXPECT_EQ(p.BitsPerSample, 8);
  EXPECT_EQ(p.SamplesPerPixel, 3);
  EXPECT_EQ(p.FileType, 0);
  EXPECT_EQ(p.GifVersion, "GIF89a");
  EXPECT_EQ(p.JpegQuality, 50);
  EXPECT_EQ(p.PcxVersion, 5);
  EXPECT_EQ(p.PngCompression, 5);
  EXPECT_DOUBLE_EQ(p.TgaAspectRatio, 1.0);
  EXPECT_DOUBLE_EQ(p.TgaGamma, 2.2);
  EXPECT_EQ(p.TiffPhotometric, 2);
  EXPECT_EQ(p.JpegColorSpace, 2);
  EXPECT_EQ(p.JpegScale, 1);
  EXPECT_TRUE(p.TiffApplyOrientation);
  EXPECT_TRUE(p.TgaCompressed);
  EXPECT_EQ(p.IcoBackground, (TRGB{255, 255, 255}));
  EXPECT_EQ(p.ColorMap(), nullptr);
  EXPECT_EQ(p.ExifThumbnail.Width(), 1);
  EXPECT_GT(p.TgaDate, 40000.0);  // some day after 2009
}

// Reset and copy go by the language for every field of TIOParamsFields; only the members the
// record adds beside them are handled by hand. A member added to the record outside the fields
// changes its size and fails here until ResetParams and AssignParams handle it and this list
// names it.
struct TMembersHandledByHand : TIOParamsFields {
  TVeloraIO* IO;
  TVLMarkerList JpegMarkers;
  TVLIPTCInfoList IptcInfo;
  TBitmap ExifThumbnail;
  int32_t JpegWarningCount, JpegWarningCode;
};
static_assert(sizeof(TIOParamsVals) == sizeof(TMembersHandledByHand));

TEST(IOParams, ResetAndAssignCoverEveryField) {
  TIOParamsVals source;
  source.AssignParams(source);  // a record assigned to itself stays as it is
  const TRGB palette[2] = {{1, 2, 3}, {4, 5, 6}};
  source.SetColorMap(palette, 2);
  source.Width = 640, source.ExifWhitePoint[1] = 0.3, source.PxmComments = {"made here"};
  source.JpegMarkers.Add(0xE1, "Exif", 4);
  source.ExifThumbnail.Reset(3, 2, TPixelFormat::pf24bit);
  source.JpegWarningCount = 9;

  TIOParamsVals copy;
  copy.AssignParams(source);
  EXPECT_EQ(copy.ColorMapCount(), 2);
  EXPECT_EQ(copy.Width, 640);
  EXPECT_DOUBLE_EQ(copy.ExifWhitePoint[1], 0.3);
  EXPECT_EQ(copy.PxmComments, source.PxmComments);
  EXPECT_EQ(copy.JpegMarkers.Count(), 1);
  EXPECT_EQ(copy.ExifThumbnail.Width(), 3);
  EXPECT_EQ(copy.JpegWarningCount, 0) << "warnings belong to the read that made them";

  copy.ResetParams();
  EXPECT_EQ(copy.ColorMapCount(), 0);
  EXPECT_EQ(copy.Width, 640) << "without an owner's bitmap the size stays";
  EXPECT_DOUBLE_EQ(copy.ExifWhitePoint[1], 0.0);
  EXPECT_TRUE(copy.PxmComments.empty());
  EXPECT_EQ(copy.JpegMarkers.Count(), 0);
  EXPECT_EQ(copy.ExifThumbnail.Width(), 1);
  EXPECT_TRUE(copy.IptcInfo.Modified) << "a cleared IPTC list counts as changed";
}

TEST(IOParams, ResetTakesTheTargetSizeAndTheGlobalLzwSlots) {
  TBitmap target(12, 7, TPixelFormat::pf24bit);
  TVeloraIO io;
  io.AttachBitmap(&target);
  const TGifLzwDecompFunc decode = [](TVLStream&, int, int, uint8_t*, bool) {};
  const TTiffLzwCompFunc encode = [](const uint8_t*, int, TVLStream&, void**) {};
  iotest::TScopedLzwCoders coders({decode, nullptr, nullptr, encode});
  io.Params().ResetParams();
  EXPECT_EQ(io.Params().Width, 12);
  EXPECT_EQ(io.Params().Height, 7);
  EXPECT_EQ(io.Params().GifLzwDecompressor, decode);
  EXPECT_EQ(io.Params().GifLzwCompressor, nullptr);
  EXPECT_EQ(io.Params().TiffLzwCompressor, encode);
}

// Readers run on several threads, so the coders and the default resolution are set once:
// a later installer changes nothing under a read that is running.
TEST(IOParams, GlobalSlotsAndResolutionAreSetOnce) {
  VLInstallLzwCoders();
  EXPECT_FALSE(InstallLzwCoders({}));
  EXPECT_FALSE(InstallLzwCoders({[](TVLStream&, int, int, uint8_t*, bool) {}}));
  EXPECT_EQ(DefGifLzwDecompFunc(), GifLzwDecode);
  EXPECT_EQ(DefGifLzwCompFunc(), GifLzwEncode);
  EXPECT_NE(DefTiffLzwDecompFunc(), nullptr);
  EXPECT_NE(DefTiffLzwCompFunc(), nullptr);

  const int dpiX = DefaultDpiX(), dpiY = DefaultDpiY();
  SetDefaultDpi(dpiX, dpiY);  // the first call, unless another test made it: either way nothing changes
  EXPECT_FALSE(SetDefaultDpi(dpiX + 24, dpiY + 48));
  EXPECT_EQ(DefaultDpiX(), dpiX);
  EXPECT_EQ(DefaultDpiY(), dpiY);
}

TEST(IOParams, AssignedRecordIsIndependent) {
  TVeloraIO owner;
  auto source = std::make_unique<TIOParamsVals>(&owner);
  std::vector<TRGB> palette(256);
  for (int i = 0; i < 256; ++i) palette[size_t(i)] = TRGB{uint8_t(i), uint8_t(255 - i), 7};
  source->SetColorMap(palette.data(), 256);
  source->FileName = "a.gif";
  source->FileType = ioGIF;
  source->JpegMarkers.Add(0xFE, "comment", 7);
  source->IptcInfo.Add(2, 5, 3, "abc");
  source->PxmComments.push_back("made by hand");
  source->ExifThumbnail.Reset(3, 2, TPixelFormat::pf24bit);
  source->ExifThumbnail.ScanLine(1)[2] = 99;
  source->ExifISOSpeedRatings[1] = 400;
  source->JpegWarningCount = 5;

  TIOParamsVals copy;
  copy.AssignParams(*source);
  EXPECT_EQ(copy.IO, nullptr) << "the owner is not copied";
  EXPECT_EQ(copy.JpegWarningCount, 0) << "decoder diagnostics are not copied";
  source->ColorMap()[10] = TRGB{1, 1, 1};
  source.reset();

  ASSERT_EQ(copy.ColorMapCount(), 256);
  EXPECT_EQ(copy.ColorMap()[10], (TRGB{10, 245, 7}));
  EXPECT_EQ(copy.FileName, "a.gif");
  EXPECT_EQ(copy.FileType, ioGIF);
  ASSERT_EQ(copy.JpegMarkers.Count(), 1);
  EXPECT_EQ(copy.JpegMarkers.Size(0), 7);
  EXPECT_EQ(copy.IptcInfo.Count(), 1);
  EXPECT_EQ(copy.PxmComments.size(), 1u);
  EXPECT_EQ(copy.ExifThumbnail.Width(), 3);
  EXPECT_EQ(copy.ExifThumbnail.ScanLine(1)[2], 99);
  EXPECT_EQ(copy.ExifISOSpeedRatings[1], 400);
}

}  // namespace
}  // namespace velora
