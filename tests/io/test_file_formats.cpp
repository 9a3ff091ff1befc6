// The format registry: its twelve built-in entries and the extension lookup.
#include "io_test_support.h"

namespace velora {
namespace {

TEST(FileFormats, TwelveBuiltinEntriesInIdentifierOrder) {
  const auto& f = FileFormats();
  ASSERT_GE(f.size(), 12u);
  const char* names[] = {"TIFF Bitmap",    "CompuServe Bitmap",         "JPEG Bitmap",    "PaintBrush",
                         "Windows Bitmap", "Windows Icon",              "Windows Cursor", "Portable Network Graphics",
                         "Windows Metafile", "Enhanced Windows Metafile", "Targa Bitmap",
                         "Portable Pixmap, GreyMap, BitMap"};
  for (int i = 0; i < 12; ++i) {
    EXPECT_EQ(f[size_t(i)].FileType, i + 1);
    EXPECT_EQ(f[size_t(i)].FullName, names[i]);
    EXPECT_EQ(f[size_t(i)].ReadProc, nullptr);
    EXPECT_EQ(f[size_t(i)].WriteProc, nullptr);
    EXPECT_EQ(f[size_t(i)].TestProc, nullptr);
  }
}

TEST(FileFormats, ExtensionLookupIgnoresCaseAndMatchesWholeItems) {
  const struct {
    const char* extension;
    int32_t expected;
  } cases[] = {{"tif", ioTIFF}, {"FAX", ioTIFF}, {"Jpe", ioJPEG}, {"rle", ioBMP}, {"cur", ioCUR},
               {"wmf", ioWMF},  {"emf", ioEMF},  {"pix", ioTGA},  {"VST", ioTGA}, {"pxm", ioPXM},
               {"pbm", ioPXM},  {"win", 0},      {"ti", 0},       {"", 0},        {"tif;tiff", 0}};
  for (const auto& c : cases) {
    const TFileFormatInfo* entry = FindFileFormatByExtension(c.extension);
    EXPECT_EQ(entry ? entry->FileType : 0, c.expected) << c.extension;
  }
}

TEST(FileFormats, ExternalEntriesJoinAndLeave) {
  {
    iotest::TVltRegistration vlt;
    const TFileFormatInfo* entry = FindFileFormatByExtension("vltx");
    ASSERT_NE(entry, nullptr);
    EXPECT_EQ(entry->FileType, iotest::kVltType);
    EXPECT_EQ(FindFileFormat(iotest::kVltType), entry);
  }
  EXPECT_EQ(FindFileFormatByExtension("vlt"), nullptr);
  UnregisterFileFormat(ioBMP);  // built-in entries stay
  EXPECT_NE(FindFileFormat(ioBMP), nullptr);
}

}  // namespace
}  // namespace velora
