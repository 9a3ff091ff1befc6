// The desktop's thumbnail cache: names as the standard and GLib make them, the keys written
// and checked, a thumbnail that another program wrote, files replaced whole, the folders'
// and files' permissions, and the failure records.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <utime.h>

#include <QColor>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "mview/thumbnail_cache.h"

using namespace velora;

namespace {

// A scratch home for the cache and the pictures it describes.
struct TCacheFixture {
  QTemporaryDir dir;
  QString root = dir.path() + "/cache/thumbnails";
  TVLThumbnailCache cache{root};

  QString Picture(const QString& name, const QByteArray& bytes = "picture bytes", time_t mtime = 1700000000) const {
    const QString path = dir.path() + "/" + name;
    QFile file(path);
    file.open(QIODevice::WriteOnly);
    file.write(bytes);
    file.close();
    SetMTime(path, mtime);
    return path;
  }
  static void SetMTime(const QString& path, time_t mtime) {
    const utimbuf times{mtime, mtime};
    ::utime(QFile::encodeName(path).constData(), &times);
  }
};

QImage Gradient(int width, int height, bool alpha = false) {
  QImage image(width, height, alpha ? QImage::Format_ARGB32 : QImage::Format_RGB32);
  for (int y = 0; y < height; ++y)
    for (int x = 0; x < width; ++x)
      image.setPixel(x, y, qRgba(x * 255 / width, y * 255 / height, 90, alpha ? (x + y) % 256 : 255));
  return image;
}

int Mode(const QString& path) {
  struct stat st {};
  return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

// The chunk types of a PNG file in order, and its IHDR's bit depth and colour type.
struct TPngChunks {
  std::vector<std::string> types;
  int depth = 0, colourType = 0;
};
TPngChunks ChunksOf(const QString& path) {
  QFile file(path);
  file.open(QIODevice::ReadOnly);
  const QByteArray b = file.readAll();
  TPngChunks chunks;
  for (qsizetype at = 8; at + 12 <= b.size();) {
    const uint32_t length = uint32_t(uint8_t(b[at])) << 24 | uint32_t(uint8_t(b[at + 1])) << 16 |
                            uint32_t(uint8_t(b[at + 2])) << 8 | uint8_t(b[at + 3]);
    const std::string type = b.mid(at + 4, 4).toStdString();
    if (type == "IHDR") chunks.depth = uint8_t(b[at + 16]), chunks.colourType = uint8_t(b[at + 17]);
    chunks.types.push_back(type);
    at += 12 + qsizetype(length);
  }
  return chunks;
}

TEST(ThumbnailCache, NamesFollowTheStandardAndGLib) {
  // The standard's own example.
  EXPECT_EQ(TVLThumbnailCache::ThumbnailName("/home/jens/photos/me.png"), "c6ee772d9e49320e97ec29a7eb5b1697.png");
  // As GLib's g_filename_to_uri writes them, so that GNOME's thumbnails are found under the
  // same names: sub-delimiters stay, spaces, ';', '#', '%', '?' and bytes beyond ASCII do not.
  const struct {
    const char* path;
    const char* uri;
  } cases[] = {
      {"/home/jens/photos/me.png", "file:///home/jens/photos/me.png"},
      {"/photos/IMG 001 (2).jpg", "file:///photos/IMG%20001%20(2).jpg"},
      {"/photos/été/ça.png", "file:///photos/%C3%A9t%C3%A9/%C3%A7a.png"},
      {"/a b(1)&;=+,@:!$~*'é#%?[].png", "file:///a%20b(1)&%3B=+,@:!$~*'%C3%A9%23%25%3F%5B%5D.png"},
  };
  for (const auto& c : cases) EXPECT_EQ(TVLThumbnailCache::CanonicalUri(QString::fromUtf8(c.path)), c.uri) << c.path;

  for (const auto& [requested, folder] : std::vector<std::pair<int, int>>{{1, 128}, {128, 128}, {129, 256}, {256, 256}, {900, 256}})
    EXPECT_EQ(TVLThumbnailCache::FolderSize(requested), folder) << requested;
  TVLThumbnailCache cache("/c/thumbnails");
  EXPECT_EQ(cache.ThumbnailPath("/home/jens/photos/me.png", 96), "/c/thumbnails/normal/c6ee772d9e49320e97ec29a7eb5b1697.png");
  EXPECT_EQ(cache.ThumbnailPath("/home/jens/photos/me.png", 200), "/c/thumbnails/large/c6ee772d9e49320e97ec29a7eb5b1697.png");
}

TEST(ThumbnailCache, RootFollowsXdgCacheHome) {
  const QByteArray saved = qgetenv("XDG_CACHE_HOME");
  qputenv("XDG_CACHE_HOME", "/elsewhere/cache");
  EXPECT_EQ(TVLThumbnailCache().Root(), "/elsewhere/cache/thumbnails");
  qputenv("XDG_CACHE_HOME", "relative/cache");  // not absolute: XDG says to ignore it
  EXPECT_EQ(TVLThumbnailCache::DefaultRoot(), QDir::homePath() + "/.cache/thumbnails");
  qunsetenv("XDG_CACHE_HOME");
  EXPECT_EQ(TVLThumbnailCache::DefaultRoot(), QDir::homePath() + "/.cache/thumbnails");
  if (!saved.isNull()) qputenv("XDG_CACHE_HOME", saved);
}

TEST(ThumbnailCache, StoredThumbnailCarriesTheKeysAndIsFoundAgain) {
  TCacheFixture f;
  const QString photo = f.Picture("photo one.jpg", QByteArray(1234, 'x'));
  // Owner-only folders and files whatever the umask lets through.
  const mode_t umask = ::umask(0);
  ASSERT_TRUE(f.cache.Store(photo, Gradient(1000, 500), 200, 4000, 2000, "image/jpeg"));
  ASSERT_TRUE(f.cache.Store(photo, Gradient(100, 50, true), 128, 100, 50, ""));
  ::umask(umask);

  const QString large = f.cache.ThumbnailPath(photo, 256);
  EXPECT_EQ(large, f.root + "/large/" + TVLThumbnailCache::ThumbnailName(photo));
  const QImage stored(large);
  EXPECT_EQ(stored.size(), QSize(256, 128));  // the larger side is the folder's size
  EXPECT_EQ(stored.text("Thumb::URI"), QString::fromLatin1(TVLThumbnailCache::CanonicalUri(photo)));
  EXPECT_EQ(stored.text("Thumb::MTime"), "1700000000");
  EXPECT_EQ(stored.text("Thumb::Size"), "1234");
  EXPECT_EQ(stored.text("Thumb::Image::Width"), "4000");
  EXPECT_EQ(stored.text("Thumb::Image::Height"), "2000");
  EXPECT_EQ(stored.text("Thumb::Mimetype"), "image/jpeg");
  EXPECT_TRUE(stored.text("Software").startsWith("Tessel "));
  // Plain tEXt chunks, 8-bit RGB; RGBA where the picture has alpha.
  const TPngChunks chunks = ChunksOf(large);
  EXPECT_EQ(std::count(chunks.types.begin(), chunks.types.end(), "tEXt"), 7);
  EXPECT_EQ(std::count(chunks.types.begin(), chunks.types.end(), "zTXt"), 0);
  EXPECT_EQ(chunks.depth, 8);
  EXPECT_EQ(chunks.colourType, 2);
  const QString normal = f.cache.ThumbnailPath(photo, 128);
  EXPECT_EQ(ChunksOf(normal).colourType, 6);
  EXPECT_EQ(QImage(normal).size(), QSize(100, 50));  // never enlarged
  EXPECT_TRUE(QImage(normal).text("Thumb::Mimetype").isEmpty());

  const QImage found = f.cache.Lookup(photo, 200);
  ASSERT_FALSE(found.isNull());
  EXPECT_EQ(found.size(), QSize(256, 128));
  EXPECT_NEAR(qRed(found.pixel(255, 127)), 254, 3);  // the gradient's far corner
  EXPECT_NEAR(qGreen(found.pixel(255, 127)), 254, 3);

  for (const QString& folder : {f.root, f.root + "/large", f.root + "/normal"}) EXPECT_EQ(Mode(folder), 0700) << folder.toStdString();
  EXPECT_EQ(Mode(f.dir.path() + "/cache"), 0700);
  EXPECT_EQ(Mode(large), 0600);
  EXPECT_EQ(Mode(normal), 0600);
  // Nothing but the thumbnails: no temporary file stays behind.
  EXPECT_EQ(QDir(f.root + "/large").entryList(QDir::Files | QDir::Hidden).size(), 1);
}

TEST(ThumbnailCache, AThumbnailCountsOnlyWhileTheFileIsTheSame) {
  TCacheFixture f;
  const QString photo = f.Picture("photo.png", "twelve bytes");
  const QString other = f.Picture("other.png", "twelve bytes");
  ASSERT_TRUE(f.cache.Store(photo, Gradient(64, 64), 128, 64, 64, "image/png"));
  EXPECT_FALSE(f.cache.Lookup(photo, 128).isNull());

  TCacheFixture::SetMTime(photo, 1700000001);  // touched
  EXPECT_TRUE(f.cache.Lookup(photo, 128).isNull());
  TCacheFixture::SetMTime(photo, 1700000000);
  EXPECT_FALSE(f.cache.Lookup(photo, 128).isNull());

  f.Picture("photo.png", "thirteen bytes");  // rewritten within the same second
  EXPECT_TRUE(f.cache.Lookup(photo, 128).isNull());

  // Another file's thumbnail under this file's name: its URI gives it away.
  QFile::copy(f.cache.ThumbnailPath(photo, 128), f.cache.ThumbnailPath(other, 128));
  EXPECT_TRUE(f.cache.Lookup(other, 128).isNull());
  EXPECT_TRUE(f.cache.Lookup(f.dir.path() + "/gone.png", 128).isNull());
}

// A thumbnail another program wrote (Pillow here, as a thumbnailer in Python would) is used: keys
// without Thumb::Size, one of them compressed (zTXt), and only in the large folder.
TEST(ThumbnailCache, AThumbnailAnotherProgramWroteIsUsed) {
  if (!QFile::exists("/usr/bin/python3")) GTEST_SKIP() << "no Python";
  TCacheFixture f;
  const QString photo = f.Picture("their photo.jpg");
  const QString thumbnail = f.cache.ThumbnailPath(photo, 256);
  QDir().mkpath(f.root + "/large");
  const char* script =
      "import sys\n"
      "from PIL import Image, PngImagePlugin\n"
      "info = PngImagePlugin.PngInfo()\n"
      "info.add_text('Thumb::URI', sys.argv[2], zip=True)\n"
      "info.add_text('Thumb::MTime', '1700000000')\n"
      "Image.new('RGB', (200, 150), (10, 200, 30)).save(sys.argv[1], pnginfo=info)\n";
  QProcess python;
  python.start("/usr/bin/python3", {"-c", script, thumbnail, QString::fromLatin1(TVLThumbnailCache::CanonicalUri(photo))});
  if (!python.waitForFinished(30000) || python.exitCode() != 0) GTEST_SKIP() << "Pillow is not installed";
  const TPngChunks chunks = ChunksOf(thumbnail);
  ASSERT_EQ(std::count(chunks.types.begin(), chunks.types.end(), "zTXt"), 1);

  const QImage found = f.cache.Lookup(photo, 128);  // the normal folder has none: the large one stands in
  ASSERT_FALSE(found.isNull());
  EXPECT_EQ(found.size(), QSize(200, 150));
  EXPECT_EQ(QColor(found.pixel(5, 5)), QColor(10, 200, 30));
  TCacheFixture::SetMTime(photo, 1700000002);
  EXPECT_TRUE(f.cache.Lookup(photo, 128).isNull());
}

// A reader polling the file while the thumbnail is replaced again and again sees either no
// file or a whole PNG, never a part of one.
TEST(ThumbnailCache, AThumbnailIsReplacedWhole) {
  TCacheFixture f;
  const QString photo = f.Picture("busy.png");
  const QString path = f.cache.ThumbnailPath(photo, 256);
  QImage noise(256, 256, QImage::Format_RGB32);
  for (int y = 0; y < 256; ++y)
    for (int x = 0; x < 256; ++x) noise.setPixel(x, y, qRgb((x * 7919 + y * 104729) % 251, (x * y) % 253, (x ^ y) & 255));

  std::atomic<bool> done = false;
  int partial = 0, whole = 0;
  const auto readOnce = [&] {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) return;
    const QByteArray bytes = file.readAll();
    (bytes.size() >= 12 && bytes.mid(bytes.size() - 8, 4) == "IEND" ? whole : partial)++;
  };
  std::thread reader([&] {
    while (!done.load()) readOnce();
    readOnce();  // once more after the last store: at least one whole file is seen
  });
  for (int i = 0; i < 40; ++i) ASSERT_TRUE(f.cache.Store(photo, i % 2 ? noise : noise.mirrored(), 256, 256, 256, ""));
  done = true;
  reader.join();
  EXPECT_EQ(partial, 0);
  EXPECT_GT(whole, 0);
  EXPECT_EQ(QDir(f.root + "/large").entryList(QDir::Files | QDir::Hidden).size(), 1);
}

TEST(ThumbnailCache, NeitherItsOwnFilesNorAnythingWhenOff) {
  TCacheFixture f;
  QDir().mkpath(f.root + "/normal");
  const QString own = f.Picture("cache/thumbnails/normal/0123.png");
  EXPECT_FALSE(f.cache.Store(own, Gradient(8, 8), 128, 8, 8, "image/png"));
  EXPECT_FALSE(f.cache.RecordFailure(own));
  EXPECT_FALSE(QFile::exists(f.cache.ThumbnailPath(own, 128)));

  const QString photo = f.Picture("photo.png");
  ASSERT_TRUE(f.cache.Store(photo, Gradient(8, 8), 128, 8, 8, "image/png"));
  ASSERT_TRUE(f.cache.RecordFailure(photo));
  f.cache.SetEnabled(false);
  EXPECT_TRUE(f.cache.Lookup(photo, 128).isNull());
  EXPECT_FALSE(f.cache.HasFailed(photo));
  const QString second = f.Picture("second.png");
  EXPECT_FALSE(f.cache.Store(second, Gradient(8, 8), 128, 8, 8, "image/png"));
  EXPECT_FALSE(f.cache.RecordFailure(second));
  EXPECT_FALSE(QFile::exists(f.cache.ThumbnailPath(second, 128)));
  EXPECT_FALSE(QFile::exists(f.cache.FailurePath(second)));
}

TEST(ThumbnailCache, FailuresAreRecordedUntilTheFileChanges) {
  TCacheFixture f;
  const QString broken = f.Picture("broken.jpg", "not a JPEG");
  EXPECT_FALSE(f.cache.HasFailed(broken));
  ASSERT_TRUE(f.cache.RecordFailure(broken));
  EXPECT_TRUE(f.cache.HasFailed(broken));

  const QString record = f.cache.FailurePath(broken);
  EXPECT_TRUE(record.startsWith(f.root + "/fail/tessel-"));
  EXPECT_TRUE(record.endsWith("/" + TVLThumbnailCache::ThumbnailName(broken)));
  const QImage empty(record);
  EXPECT_EQ(empty.size(), QSize(1, 1));
  EXPECT_EQ(empty.text("Thumb::URI"), QString::fromLatin1(TVLThumbnailCache::CanonicalUri(broken)));
  EXPECT_EQ(empty.text("Thumb::MTime"), "1700000000");
  EXPECT_EQ(Mode(record), 0600);
  EXPECT_EQ(Mode(f.root + "/fail"), 0700);
  EXPECT_TRUE(f.cache.Lookup(broken, 128).isNull());  // a failure is no thumbnail

  TCacheFixture::SetMTime(broken, 1700000100);  // fixed since
  EXPECT_FALSE(f.cache.HasFailed(broken));
  EXPECT_FALSE(f.cache.RecordFailure(f.dir.path() + "/missing.jpg"));
}

}  // namespace

// A renamed or moved file keeps its thumbnails (their URI rewritten, the other keys kept); a
// deleted one takes them along; a thumbnail that no longer described the file is not carried.
TEST(ThumbnailCache, ThumbnailsFollowRenameMoveAndDelete) {
  TCacheFixture f;
  QDir(f.dir.path()).mkdir("moved");
  const QString photo = f.Picture("a.jpg", QByteArray(500, 'a'));
  const QString stale = f.Picture("s.jpg", QByteArray(500, 's'));
  ASSERT_TRUE(f.cache.Store(photo, Gradient(400, 200), 256, 400, 200, "image/jpeg"));
  ASSERT_TRUE(f.cache.Store(photo, Gradient(400, 200), 128, 400, 200, "image/jpeg"));
  ASSERT_TRUE(f.cache.Store(stale, Gradient(40, 20), 128, 40, 20, ""));
  ASSERT_TRUE(f.cache.RecordFailure(photo));
  TCacheFixture::SetMTime(stale, 1700000999);  // changed since its thumbnail was made

  const QString moved = f.dir.path() + "/moved/b c.jpg";
  ASSERT_TRUE(QFile::rename(photo, moved));
  f.cache.Follow(photo, moved);
  for (const int size : {128, 256}) {
    SCOPED_TRACE(size);
    EXPECT_FALSE(QFile::exists(f.cache.ThumbnailPath(photo, size)));
    const QImage found = f.cache.Lookup(moved, size);
    ASSERT_FALSE(found.isNull());
    EXPECT_EQ(found.text("Thumb::URI"), QString::fromLatin1(TVLThumbnailCache::CanonicalUri(moved)));
    EXPECT_EQ(found.text("Thumb::Image::Width"), "400");
    EXPECT_EQ(found.text("Thumb::Mimetype"), "image/jpeg");
    EXPECT_EQ(Mode(f.cache.ThumbnailPath(moved, size)), 0600);
  }
  EXPECT_FALSE(QFile::exists(f.cache.FailurePath(photo)));

  const QString staleMoved = f.dir.path() + "/moved/s.jpg";
  ASSERT_TRUE(QFile::rename(stale, staleMoved));
  f.cache.Follow(stale, staleMoved);
  EXPECT_FALSE(QFile::exists(f.cache.ThumbnailPath(stale, 128)));
  EXPECT_FALSE(QFile::exists(f.cache.ThumbnailPath(staleMoved, 128)));

  ASSERT_TRUE(QFile::remove(moved));
  f.cache.Forget(moved);
  EXPECT_TRUE(QDir(f.root + "/normal").entryList(QDir::Files | QDir::Hidden).isEmpty());
  EXPECT_TRUE(QDir(f.root + "/large").entryList(QDir::Files | QDir::Hidden).isEmpty());
}
