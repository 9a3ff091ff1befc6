// Hostile files end to end through the `velora` tool: the pixel limit refuses images of every
// format before they are decoded, and a folder of damaged files lists only the sound ones,
// with each damaged one named and explained by `velora info`.
#include <sys/wait.h>

#include <zlib.h>

#include <map>
#include <set>
#include <sstream>

#include "bitmap/toolkit_bitmap.h"
#include "codecs/formats.h"
#include "codecs/gif/gif_codec.h"
#include "codecs/jpeg/jpeg_codec.h"
#include "io_test_support.h"
#include "tool_runner.h"

namespace velora {
namespace {

using iotest::Bytes;
using iotest::Quote;
using iotest::ReadFileBytes;
using iotest::Slurp;
using iotest::TRun;
using iotest::Velora;
using iotest::WriteFileBytes;

// A picture with some detail, so that every writer has real work.
void Paint(TBitmap& bmp, int w, int h) {
  bmp.Reset(w, h, TPixelFormat::pf24bit);
  for (int y = 0; y < h; ++y) {
    auto* row = reinterpret_cast<TRGB*>(bmp.ScanLine(y));
    for (int x = 0; x < w; ++x) row[x] = MakeRGB(uint8_t(x * 3), uint8_t(y * 5), uint8_t((x + y) * 2));
  }
}

// A one-image icon of side × side pixels, 32 bits, with its AND mask.
Bytes MakeIcon(int side) {
  Bytes b;
  iotest::PutU16(b, 0);
  iotest::PutU16(b, 1);
  iotest::PutU16(b, 1);
  const uint32_t maskRow = uint32_t((side + 31) / 32 * 4);
  const uint32_t size = 40 + uint32_t(side * side) * 4 + maskRow * uint32_t(side);
  b.insert(b.end(), {uint8_t(side), uint8_t(side), 0, 0});
  iotest::PutU16(b, 1);
  iotest::PutU16(b, 32);
  iotest::PutU32(b, size);
  iotest::PutU32(b, 22);
  iotest::PutU32(b, 40);
  iotest::PutU32(b, uint32_t(side));
  iotest::PutU32(b, uint32_t(side * 2));
  iotest::PutU16(b, 1);
  iotest::PutU16(b, 32);
  for (int i = 0; i < 6; ++i) iotest::PutU32(b, 0);
  for (int i = 0; i < side * side; ++i) b.insert(b.end(), {uint8_t(i), uint8_t(i * 3), 200, 255});
  b.insert(b.end(), size_t(maskRow) * side, 0);
  return b;
}

// Writes "<stem>.<ext>" of width × height in every format the library writes (and an icon
// built by hand), and answers the paths by extension.
std::map<std::string, std::string> WriteEveryFormat(const std::string& dir, const std::string& stem, int w, int h) {
  VLInstallLzwCoders();  // as the viewer does on start-up
  TBitmap bmp;
  Paint(bmp, w, h);
  TVeloraIO io;
  io.AttachBitmap(&bmp);
  std::map<std::string, std::string> paths;
  for (const char* ext : {"bmp", "gif", "pcx", "tga", "ppm", "pgm", "pbm", "jpg", "png"}) {
    const std::string path = dir + "/" + stem + "." + ext;
    if (std::string(ext) == "pgm" || std::string(ext) == "pbm") {
      io.Params().SamplesPerPixel = 1;
      io.Params().BitsPerSample = std::string(ext) == "pbm" ? 1 : 8;
    } else {
      io.Params().SamplesPerPixel = 3;
      io.Params().BitsPerSample = 8;
    }
    io.SaveToFile(path);
    EXPECT_FALSE(io.Aborting) << path;
    paths[ext] = path;
  }
  paths["ico"] = dir + "/" + stem + ".ico";
  WriteFileBytes(paths["ico"], MakeIcon(std::min(w, 255)));
  return paths;
}

class HostileInput : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!std::filesystem::exists(VELORA_TOOL_PATH)) GTEST_SKIP() << "the velora tool is not built";
  }
  iotest::TTempDir dir;
};

TEST_F(HostileInput, PixelLimitRefusesEveryFormatBeforeDecoding) {
  for (const auto& [ext, path] : WriteEveryFormat(dir.Path(), "big", 100, 100)) {
    SCOPED_TRACE(path);
    TRun r = Velora({"--max-pixels", "5000", "convert", path, dir.Path() + "/out.bmp"});
    EXPECT_EQ(r.status, 1) << "10000 pixels are beyond a limit of 5000";
    EXPECT_NE(r.err.find("cannot read " + path + ": "), std::string::npos) << r.err;
    EXPECT_NE(r.err.find(": 100 x 100 declared, beyond the limit of 5000 pixels\n"), std::string::npos) << r.err;
    r = Velora({"--max-pixels", "10000", "convert", path, dir.Path() + "/out.bmp"});
    EXPECT_EQ(r.status, 0) << "exactly at the limit: " << r.err;
  }
  // What cannot be opened is not listed: the scan skips every one of them.
  std::filesystem::remove(dir.Path() + "/out.bmp");
  TRun scan = Velora({"--max-pixels", "5000", "scan", dir.Path(), "*.*"});
  EXPECT_EQ(scan.out, "");
  scan = Velora({"--max-pixels", "10000", "scan", dir.Path(), "*.*"});
  EXPECT_NE(scan.out, "");
}

// Damaged copies of a sound file: cut inside its header, or with a field of its header made
// impossible. None of them can be decoded, so none may be listed.
struct TDamage {
  std::string name;
  int64_t cut = -1;  // keep this many bytes, or −1
  size_t offset = 0;
  Bytes patch;       // bytes written at offset
};

std::vector<TDamage> DamagesOf(const std::string& ext) {
  std::vector<TDamage> d = {{"empty", 0}, {"one_byte", 1}, {"three_bytes", 3}};
  auto cut = [&](int64_t n) { d.push_back({"cut" + std::to_string(n), n}); };
  auto patch = [&](const std::string& what, size_t at, Bytes bytes) { d.push_back({what, -1, at, std::move(bytes)}); };
  if (ext == "bmp") {
    cut(14), cut(30), cut(53);
    patch("bad_magic", 0, {'X', 'Y'});
    patch("zero_width", 18, {0, 0, 0, 0});
    patch("huge_size", 18, {0xFF, 0xFF, 0xFF, 0x7F, 0xFF, 0xFF, 0xFF, 0x7F});
  } else if (ext == "gif") {
    cut(6), cut(10);
    patch("bad_magic", 0, {'G', 'X', 'F'});
  } else if (ext == "pcx") {
    cut(64), cut(127);
    patch("bad_manufacturer", 0, {0x0B});
    patch("bad_encoding", 2, {7});
    patch("xmax_before_xmin", 4, {0x10, 0, 0, 0, 0x05, 0});
  } else if (ext == "tga") {
    cut(12), cut(17);
    patch("bad_type", 2, {99});
    patch("zero_width", 12, {0, 0});
    patch("bad_depth", 16, {13});
  } else if (ext == "ppm" || ext == "pgm" || ext == "pbm") {
    patch("bad_magic", 1, {'9'});
    patch("zero_width", 3, {'0', ' '});
  } else if (ext == "jpg") {
    cut(20);
    patch("no_start_of_image", 0, {0x00, 0x00});
  } else if (ext == "png") {
    cut(8), cut(20), cut(32);
    patch("bad_signature", 1, {'Q'});
    patch("zero_width", 16, {0, 0, 0, 0});
  } else if (ext == "ico") {
    cut(6), cut(21), cut(40);
    patch("zero_count", 4, {0, 0});
    patch("entry_beyond_file", 18, {0xFF, 0xFF, 0, 0});
  }
  return d;
}

TEST_F(HostileInput, ScanListsOnlySoundFilesAndInfoExplainsTheOthers) {
  const std::map<std::string, std::string> good = WriteEveryFormat(dir.Path(), "good", 9, 6);
  std::vector<std::string> broken;
  for (const auto& [ext, path] : good) {
    const Bytes sound = ReadFileBytes(path);
    for (const TDamage& damage : DamagesOf(ext)) {
      Bytes bytes = sound;
      if (damage.cut >= 0) bytes.resize(size_t(std::min<int64_t>(damage.cut, int64_t(bytes.size()))));
      for (size_t i = 0; i < damage.patch.size() && damage.offset + i < bytes.size(); ++i)
        bytes[damage.offset + i] = damage.patch[i];
      broken.push_back(dir.Path() + "/broken_" + damage.name + "." + ext);
      if (ext == "ppm" || ext == "pgm" || ext == "pbm") broken.back() = dir.Path() + "/broken_" + ext + "_" + damage.name + "." + ext;
      WriteFileBytes(broken.back(), bytes);
    }
  }

  const TRun scan = Velora({"scan", dir.Path(), "*.*"});
  EXPECT_EQ(scan.status, 0) << scan.err;
  std::set<std::string> listed;
  std::istringstream lines(scan.out);
  for (std::string line; std::getline(lines, line);) listed.insert(line.substr(line.rfind('\t') + 1));
  std::set<std::string> expected;
  for (const auto& [ext, path] : good) expected.insert(path);
  EXPECT_EQ(listed, expected) << scan.out;

  // Each one is explained: by the reader that refused it, or by the detection that found no
  // format in it.
  const std::map<std::string, std::string> reasons = {
      {"broken_cut30.bmp", "BMP: premature end of data"},
      {"broken_cut53.bmp", "BMP: premature end of data"},
      {"broken_zero_width.bmp", "BMP: 0 x 6 declared, an empty image"},
      {"broken_huge_size.bmp", "BMP: rows of 2147483647 pixels at 24 bits are too long"},
      {"broken_cut40.ico", "ICO: premature end of data"},
      {"broken_entry_beyond_file.ico", "ICO: premature end of data"},
      {"broken_three_bytes.jpg", "JPEG: JPEG datastream contains no image"},
      {"broken_cut20.jpg", "JPEG: JPEG datastream contains no image"},
      {"broken_bad_encoding.pcx", "PCX: 8 bits per pixel with encoding 7"},
      {"broken_xmax_before_xmin.pcx", "PCX: -10 x 6 declared, an empty image"},
      {"broken_cut20.png", "PNG: premature end of data"},
      {"broken_cut32.png", "PNG: premature end of data"},
      {"broken_zero_width.png", "PNG: IHDR: CRC error"},
      {"broken_zero_width.tga", "TGA: 0 x 6 declared, an empty image"},
  };
  for (const std::string& path : broken) {
    const TRun info = Velora({"info", path});
    EXPECT_EQ(info.status, 1) << path << "\n" << info.out << info.err;
    const auto known = reasons.find(std::filesystem::path(path).filename().string());
    const std::string reason = known != reasons.end() ? known->second : "not an image format this library recognises";
    EXPECT_NE(info.err.find("cannot read " + path + ": " + reason + "\n"), std::string::npos) << info.err;
  }
}

void PutBE32(Bytes& b, size_t at, uint32_t v) {
  for (int i = 0; i < 4; ++i) b[at + size_t(i)] = uint8_t(v >> (24 - 8 * i));
}
void PutLE(Bytes& b, size_t at, uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) b[at + size_t(i)] = uint8_t(v >> (8 * i));
}

// The sound file of that format made to declare width × height: the header fields patched
// (and the PNG header's checksum made right again), the data left as short as it was.
Bytes Enlarge(const std::string& ext, Bytes b, uint32_t w, uint32_t h) {
  if (ext == "bmp") {
    PutLE(b, 18, w, 4), PutLE(b, 22, h, 4);
  } else if (ext == "pcx") {
    PutLE(b, 4, 0, 4), PutLE(b, 8, w - 1, 2), PutLE(b, 10, h - 1, 2), PutLE(b, 66, w, 2);
  } else if (ext == "tga") {
    PutLE(b, 12, w, 2), PutLE(b, 14, h, 2);
  } else if (ext == "ppm") {
    const std::string header = "P6\n" + std::to_string(w) + " " + std::to_string(h) + "\n255\n";
    b.assign(header.begin(), header.end());
    b.resize(b.size() + 300, 7);
  } else if (ext == "png") {
    PutBE32(b, 16, w), PutBE32(b, 20, h);
    PutBE32(b, 29, uint32_t(crc32(crc32(0, nullptr, 0), b.data() + 12, 17)));
  } else if (ext == "jpg") {
    size_t p = 2;
    while (!(b[p] == 0xFF && b[p + 1] >= 0xC0 && b[p + 1] <= 0xC2)) p += 2 + size_t(b[p + 2] << 8 | b[p + 3]);
    b[p + 5] = uint8_t(h >> 8), b[p + 6] = uint8_t(h), b[p + 7] = uint8_t(w >> 8), b[p + 8] = uint8_t(w);
  } else if (ext == "ico") {
    b[6] = b[7] = 0;  // the directory defers to the bitmap header
    PutLE(b, 22 + 4, w, 4), PutLE(b, 22 + 8, h * 2, 4);
  }
  return b;
}

#if defined(__SANITIZE_ADDRESS__)
#define VELORA_UNDER_ASAN 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define VELORA_UNDER_ASAN 1
#endif
#endif

// A short file declaring 12000 x 12000 pixels is within the pixel limit, so the reader asks
// for its 432 MB bitmap; in a process that may not have that much the allocation fails, and
// the reader must turn that into a failed read, not a crash.
TEST_F(HostileInput, FailedAllocationIsAFailedReadNotACrash) {
#ifdef VELORA_UNDER_ASAN
  GTEST_SKIP() << "the address sanitizer reserves more address space than the limit allows";
#else
  for (const auto& [ext, path] : WriteEveryFormat(dir.Path(), "small", 9, 6)) {
    if (ext == "gif" || ext == "pgm" || ext == "pbm") continue;  // GIF refuses frames its data cannot fill
    SCOPED_TRACE(path);
    const std::string big = dir.Path() + "/huge." + ext;
    WriteFileBytes(big, Enlarge(ext, ReadFileBytes(path), 12000, 12000));
    const std::string command = "ulimit -v 300000; " + Quote(VELORA_TOOL_PATH) + " convert " + Quote(big) + " " +
                                Quote(dir.Path() + "/out.bmp") + " 2>" + Quote(dir.Path() + "/err");
    const int raw = std::system(("sh -c " + Quote(command)).c_str());
    ASSERT_TRUE(WIFEXITED(raw)) << "the tool died of a signal";
    EXPECT_EQ(WEXITSTATUS(raw), 1);
    EXPECT_NE(Slurp(dir.Path() + "/err").find("cannot read " + big), std::string::npos);
  }
#endif
}

// PCX, TGA, icons and the anymaps keep what a cut-off file holds, the rest black, and JPEG pads
// it; BMP decodes the rows it has and then fails, and so does PNG, whose deflate data can
// shrink rows at most 1032 times. A few hundred bytes declaring 16000 x 16000 pixels are not a
// cut-off image, though: the read fails before a quarter-gigabyte bitmap is made for them, and
// the header-only read of a folder scan refuses them as well. A file that holds its header and
// half its raster still reads.
TEST_F(HostileInput, ShortFileCannotDeclareAHugeImage) {
  auto load = [](const Bytes& bytes, TBitmap& bmp, std::string& why) {
    TVLBufferStream stream(bytes.data(), int64_t(bytes.size()));
    TVeloraIO io;
    io.AttachBitmap(&bmp);
    io.LoadFromStream(stream);
    why = io.AbortReason;
    return !io.Aborting;
  };
  auto readsHeader = [](const Bytes& bytes) {
    TVLBufferStream stream(bytes.data(), int64_t(bytes.size()));
    TVeloraIO io;
    io.ReadParamsFromStream(stream);
    return io.Params().FileType != ioUnknown;
  };
  // Refused by both reads, and said why: the size declared and the bytes there are.
  auto expectRefused = [&](const Bytes& bytes, TBitmap& bmp, const std::string& reason = " bytes follow") {
    std::string why;
    EXPECT_FALSE(load(bytes, bmp, why));
    EXPECT_NE(why.find(reason), std::string::npos) << why;
    EXPECT_NE(why.find(" bytes follow"), std::string::npos) << why;
    EXPECT_FALSE(readsHeader(bytes)) << "the header-only read lists it";
  };
  for (const auto& [ext, path] : WriteEveryFormat(dir.Path(), "small", 40, 30)) {
    const bool keepsCutOff = ext == "pcx" || ext == "tga" || ext == "ico" || ext == "ppm" || ext == "pgm" || ext == "pbm";
    if (!keepsCutOff && ext != "bmp" && ext != "png" && ext != "jpg") continue;
    SCOPED_TRACE(path);
    const Bytes sound = ReadFileBytes(path);
    TBitmap bmp;
    if (ext != "jpg") {  // half of so small a JPEG cuts into its tables
      Bytes half(sound.begin(), sound.begin() + ptrdiff_t(sound.size() / 2));
      std::string why;
      EXPECT_EQ(load(half, bmp, why), keepsCutOff) << why;
      EXPECT_TRUE(readsHeader(half));
      EXPECT_EQ(bmp.Width(), 40) << "the rows the file has are decoded";
    }
    if (ext == "pgm" || ext == "pbm") continue;  // the anymaps follow below
    expectRefused(Enlarge(ext, sound, 16000, 16000), bmp, "16000 x 16000 declared, ");
    EXPECT_LE(bmp.Width(), 40) << "no bitmap was made for the declared size";
    // Depths and codings the reader leaves blank still size the bitmap: BMP bit count 0 and
    // 24 bits run-length coded; PCX 0 bits or 0 planes, each with a line length of 0; an icon
    // of no bit count whose single colour asks for 0 bits.
    using TPatch = std::vector<std::pair<size_t, uint8_t>>;
    const std::map<std::string, std::vector<TPatch>> undecodedHeaders = {
        {"bmp", {{{28, 0}}, {{28, 24}, {30, 1}}}},
        {"pcx", {{{3, 0}, {66, 0}, {67, 0}}, {{65, 0}, {66, 0}, {67, 0}}}},
        {"ico", {{{8, 1}, {12, 0}, {13, 0}, {22 + 14, 0}, {22 + 15, 0}}}},
    };
    if (auto found = undecodedHeaders.find(ext); found != undecodedHeaders.end()) {
      for (const TPatch& patch : found->second) {
        Bytes undecoded = Enlarge(ext, sound, 16000, 16000);
        for (const auto& [at, value] : patch) undecoded[at] = value;
        expectRefused(undecoded, bmp);
      }
      EXPECT_EQ(bmp.Width(), 40);
    }
  }
  // Every coding the anymaps and Targa have, plain and run-length, each with a little data.
  const std::string huge = " 16000 16000";
  for (const char* header : {"P1", "P2", "P3", "P4", "P5", "P6"}) {
    SCOPED_TRACE(header);
    TBitmap bmp;
    expectRefused(testbytes::FromString(header + huge + (header[1] == '1' || header[1] == '4' ? "\n" : " 255\n") +
                                        std::string(400, '1')),
                  bmp);
  }
  for (uint8_t type : {2, 3, 10, 11}) {
    SCOPED_TRACE(int(type));
    Bytes tga = {0, 0, type, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x80, 0x3E, 0x80, 0x3E, uint8_t(type & 1 ? 8 : 24), 0};
    tga.resize(tga.size() + 400, 0xFF);  // run-length: runs of 128 pixels
    TBitmap bmp;
    expectRefused(tga, bmp);
  }
}

// Every scan of a progressive file costs a pass over all blocks of the frame, however few bytes
// it holds: hundreds of repeated tiny scans over a 4096 x 4096 frame are refused early rather
// than decoded for seconds.
TEST(HostileJpeg, ScanFloodOverALargeFrameIsRefused) {
  const std::string path = std::string(VELORA_SOURCE_DIR) + "/tests/corpus/jpeg/progressive_4096x4096_400_dc_scans.jpg";
  const Bytes bytes = ReadFileBytes(path);
  ASSERT_FALSE(bytes.empty()) << path;
  TVLBufferStream stream(bytes.data(), int64_t(bytes.size()));
  TIOParamsVals params;
  TVLLocalProgress progress;
  TBitmap bitmap;
  JpegReadStream(stream, &bitmap, params, false, progress.record);
  EXPECT_TRUE(progress.aborting);
}

}  // namespace
}  // namespace velora
