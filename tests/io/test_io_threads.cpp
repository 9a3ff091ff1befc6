// Readers side by side: the viewer reads on worker threads, each job with its own TVeloraIO,
// parameter record and bitmap. Every format is read on several threads at once and each result
// must equal what one thread alone reads. The threaded reads come first, in a process where no
// reader has run yet, so that lazily built tables are built under contention; in the
// ThreadSanitizer tree (-DVELORA_TSAN=ON) this is what shows that no read writes global state.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <latch>
#include <string>
#include <thread>
#include <vector>

#include "bitmap/vl_mask.h"
#include "codecs/formats.h"
#include "codecs/jpeg/oriented_photo.h"
#include "io_test_support.h"

namespace velora {
namespace {

// 64-bit FNV-1a: enough to tell two decoded pictures apart without keeping them.
uint64_t Digest(const uint8_t* bytes, int64_t size, uint64_t h = 14695981039346656037ull) {
  for (int64_t i = 0; i < size; ++i) h = (h ^ bytes[i]) * 1099511628211ull;
  return h;
}

struct TJob {
  std::string path;
  bool headerOnly = false;
  uint8_t jpegScale = 1;  // the viewer's quick preview reads JPEG at 1/8 (4)
};

struct TReadResult {
  bool aborting = false;
  std::string reason;
  int32_t fileType = 0, width = 0, height = 0, bits = 0, samples = 0, dpiX = 0, dpiY = 0, orientation = 0;
  int32_t imageCount = 0, colours = 0;
  int pixelFormat = 0, bitmapWidth = 0, bitmapHeight = 0, alphaWidth = 0;
  uint64_t pixels = 0, palette = 0, alpha = 0;
  bool operator==(const TReadResult&) const = default;
};

std::ostream& operator<<(std::ostream& out, const TReadResult& r) {
  return out << (r.aborting ? "aborted (" + r.reason + ") " : "") << r.fileType << ": " << r.width << "x"
             << r.height << "x" << r.bits << "x" << r.samples << " " << r.dpiX << "x" << r.dpiY << " pixels "
             << std::hex << r.pixels << " palette " << r.palette << " alpha " << r.alpha << std::dec;
}

TReadResult Read(const TJob& job) {
  TBitmap bitmap;
  TVLMask alpha;
  TVeloraIO io;
  io.AttachBitmap(&bitmap);
  io.SetAlphaMask(&alpha);
  io.Params().JpegApplyOrientation = true;  // as the viewer reads photos
  io.Params().JpegScale = job.jpegScale;
  if (job.headerOnly)
    io.ReadParamsFromFile(job.path);
  else
    io.LoadFromFile(job.path);
  const TIOParamsVals& p = io.Params();
  TReadResult r;
  r.aborting = io.Aborting, r.reason = io.AbortReason;
  r.fileType = p.FileType, r.width = p.Width, r.height = p.Height;
  r.bits = p.BitsPerSample, r.samples = p.SamplesPerPixel, r.dpiX = p.DpiX, r.dpiY = p.DpiY;
  r.orientation = p.ExifOrientation, r.colours = p.ColorMapCount();
  r.imageCount = p.GifImageCount + p.TiffImageCount;
  r.pixelFormat = int(bitmap.PixelFormat()), r.bitmapWidth = bitmap.Width(), r.bitmapHeight = bitmap.Height();
  if (!bitmap.Empty()) r.pixels = Digest(bitmap.Bits(), bitmap.ImageSize());
  r.palette = Digest(reinterpret_cast<const uint8_t*>(bitmap.Palette()), int64_t(bitmap.PaletteCount()) * 3);
  r.alphaWidth = alpha.Width();
  if (alpha.Width() > 0) r.alpha = Digest(alpha.Bits(), int64_t(alpha.RowLen()) * alpha.Height());
  return r;
}

// The sample folder holds one file of nearly every format; what it lacks is made here: an LZW
// TIFF (through the global coder slots), a photo whose EXIF block the JPEG reader hands to the
// TIFF reader, and damaged files that send libjpeg and libpng down their error paths.
std::vector<TJob> EveryFormat(const iotest::TTempDir& dir) {
  std::vector<std::string> files;
  for (const auto& entry : std::filesystem::directory_iterator(std::string(VELORA_SOURCE_DIR) + "/samples"))
    files.push_back(entry.path().string());
  std::sort(files.begin(), files.end());

  TBitmap picture;
  orienttest::FillBlocks(picture, 96, 64);
  TVeloraIO writer;
  writer.AttachBitmap(&picture);
  writer.Params().TiffCompression = 5;
  files.push_back(dir.Path() + "/lzw.tif");
  writer.SaveToFile(files.back());
  files.push_back(orienttest::WritePhoto(dir.Path() + "/side.jpg", 6, 80, 48));

  const std::vector<std::string> whole = files;
  for (const std::string& source : whole) {
    const std::string ext = std::filesystem::path(source).extension().string();
    if (ext != ".jpg" && ext != ".png" && ext != ".gif" && ext != ".tif") continue;
    iotest::Bytes bytes = iotest::ReadFileBytes(source);
    bytes.resize(bytes.size() * 2 / 3);
    files.push_back(dir.Write("cut-" + std::filesystem::path(source).filename().string(), bytes));
  }

  std::vector<TJob> jobs;
  for (const std::string& file : files) {
    jobs.push_back({file});
    jobs.push_back({file, true});
    if (file.ends_with(".jpg")) jobs.push_back({file, false, 4});
  }
  return jobs;
}

TEST(IoThreads, ReadsSideBySideEqualReadsAlone) {
  iotest::TTempDir dir;
  VLInstallLzwCoders();
  const std::vector<TJob> jobs = EveryFormat(dir);
  ASSERT_GE(jobs.size(), 40u);

  // Each thread goes through every job twice, starting at a different place, so that every
  // reader meets every other one.
  constexpr int kThreads = 4, kRounds = 2;
  std::vector<std::vector<TReadResult>> seen(kThreads, std::vector<TReadResult>(jobs.size() * kRounds));
  std::latch start(kThreads);
  std::vector<std::thread> threads;
  for (int t = 0; t < kThreads; ++t)
    threads.emplace_back([&, t] {
      VLInstallLzwCoders();  // a job may install them too: only the first call counts
      start.arrive_and_wait();
      for (size_t i = 0; i < jobs.size() * kRounds; ++i) {
        const size_t job = (i + size_t(t) * jobs.size() / kThreads) % jobs.size();
        seen[size_t(t)][i] = Read(jobs[job]);
      }
    });
  for (std::thread& thread : threads) thread.join();

  std::vector<TReadResult> alone;
  for (const TJob& job : jobs) alone.push_back(Read(job));
  for (int t = 0; t < kThreads; ++t)
    for (size_t i = 0; i < jobs.size() * kRounds; ++i) {
      const size_t job = (i + size_t(t) * jobs.size() / kThreads) % jobs.size();
      EXPECT_EQ(seen[size_t(t)][i], alone[job])
          << jobs[job].path << (jobs[job].headerOnly ? " (header)" : "") << " scale " << int(jobs[job].jpegScale);
    }

  // The reads themselves did what they should: the damaged files and nothing else failed,
  // and the photo came upright.
  for (size_t j = 0; j < jobs.size(); ++j) {
    const std::string name = std::filesystem::path(jobs[j].path).filename().string();
    if (!name.starts_with("cut-")) {
      EXPECT_FALSE(alone[j].aborting) << name << ": " << alone[j].reason;
      EXPECT_NE(alone[j].fileType, ioUnknown) << name;
    }
    if (name == "side.jpg" && !jobs[j].headerOnly && jobs[j].jpegScale == 1) {
      EXPECT_EQ(alone[j].bitmapWidth, 48);
    }
  }
}

}  // namespace
}  // namespace velora
