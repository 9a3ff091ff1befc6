#include "thumbnail_cache.h"

#include <png.h>
#include <sys/stat.h>
#include <unistd.h>

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <cerrno>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <utility>
#include <vector>

#ifndef TESSEL_VERSION
#define TESSEL_VERSION "0"
#endif

namespace velora {

namespace {

constexpr const char* kSoftware = "Tessel " TESSEL_VERSION;
// Failures are kept per program and version: another program, or a later version of ours,
// may read what this one cannot.
constexpr const char* kFailFolder = "fail/tessel-" TESSEL_VERSION;

constexpr const char* kUriKey = "Thumb::URI";
constexpr const char* kMTimeKey = "Thumb::MTime";
constexpr const char* kSizeKey = "Thumb::Size";

// What a thumbnail must agree with to describe the file as it is now.
struct TFileFacts {
  QByteArray uri;
  qint64 mtime = 0;  // whole seconds since the epoch
  qint64 size = 0;
};

bool FactsOf(const QString& absolutePath, TFileFacts& facts) {
  struct stat st {};
  if (!QDir::isAbsolutePath(absolutePath) || ::stat(QFile::encodeName(absolutePath).constData(), &st) != 0 ||
      !S_ISREG(st.st_mode))
    return false;
  facts.uri = TVLThumbnailCache::CanonicalUri(absolutePath);
  facts.mtime = qint64(st.st_mtim.tv_sec);
  facts.size = qint64(st.st_size);
  return true;
}

// Other programs write the keys as they please; a value that is not a whole number never
// matches.
bool SameNumber(const QString& text, qint64 value) {
  bool ok = false;
  const qint64 number = text.trimmed().toLongLong(&ok);
  return ok && number == value;
}

bool Describes(const QImage& thumbnail, const TFileFacts& facts) {
  if (thumbnail.isNull() || thumbnail.text(kUriKey).toLatin1() != facts.uri) return false;
  if (!SameNumber(thumbnail.text(kMTimeKey), facts.mtime)) return false;
  const QString size = thumbnail.text(kSizeKey);
  return size.isEmpty() || SameNumber(size, facts.size);
}

using TKeys = std::vector<std::pair<QByteArray, QByteArray>>;

TKeys KeysOf(const TFileFacts& facts) {
  return {{kUriKey, facts.uri},
          {kMTimeKey, QByteArray::number(facts.mtime)},
          {kSizeKey, QByteArray::number(facts.size)},
          {"Software", kSoftware}};
}

// ---- writing: libpng directly, because the standard asks for tEXt chunks and Qt's writer
// compresses every value of 40 characters or more (most URIs) into zTXt.

// Only plain C data lives in this frame: libpng leaves it by longjmp.
bool WritePngRows(FILE* file, int width, int height, bool alpha, png_bytepp rows, png_textp texts, int textCount) {
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (!png) return false;
  png_infop info = png_create_info_struct(png);
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, info ? &info : nullptr);
    return false;
  }
  png_init_io(png, file);
  png_set_IHDR(png, info, png_uint_32(width), png_uint_32(height), 8, alpha ? PNG_COLOR_TYPE_RGBA : PNG_COLOR_TYPE_RGB,
               PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
  png_set_text(png, info, texts, textCount);
  png_write_info(png, info);
  png_write_image(png, rows);
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return true;
}

bool WritePng(FILE* file, const QImage& image, const TKeys& keys) {
  const bool alpha = image.hasAlphaChannel();
  const QImage pixels = image.convertToFormat(alpha ? QImage::Format_RGBA8888 : QImage::Format_RGB888);
  std::vector<png_bytep> rows(size_t(pixels.height()));
  for (int y = 0; y < pixels.height(); ++y) rows[size_t(y)] = const_cast<png_bytep>(pixels.constScanLine(y));
  std::vector<png_text> texts(keys.size());
  for (size_t i = 0; i < keys.size(); ++i) {
    texts[i].compression = PNG_TEXT_COMPRESSION_NONE;
    texts[i].key = const_cast<char*>(keys[i].first.constData());
    texts[i].text = const_cast<char*>(keys[i].second.constData());
    texts[i].text_length = size_t(keys[i].second.size());
  }
  return WritePngRows(file, pixels.width(), pixels.height(), alpha, rows.data(), texts.data(), int(texts.size()));
}

// Creates the missing folders of `path`, each 0700 as the standard (and XDG's for ~/.cache)
// asks; folders that exist keep what their owner gave them.
bool MakeFolders(const QString& path) {
  const QByteArray bytes = QFile::encodeName(QDir::cleanPath(path));
  for (qsizetype end = 1; end <= bytes.size(); ++end) {
    if (end < bytes.size() && bytes[end] != '/') continue;
    const QByteArray prefix = bytes.left(end);
    if (::mkdir(prefix.constData(), 0700) == 0) {
      ::chmod(prefix.constData(), 0700);  // in spite of the umask
    } else if (errno != EEXIST) {
      return false;
    }
  }
  struct stat st {};
  return ::stat(bytes.constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Writes the PNG under a temporary name beside its final one and renames it over that, so
// that a reader (ours on another thread, or another program) sees the old file or the whole
// new one, never a part.
bool WriteAtomically(const QString& folder, const QString& name, const QImage& image, const TKeys& keys) {
  if (!MakeFolders(folder)) return false;
  const QByteArray target = QFile::encodeName(folder + QLatin1Char('/') + name);
  QByteArray temporary = target + ".XXXXXX";
  const int fd = ::mkstemp(temporary.data());
  if (fd < 0) return false;
  ::fchmod(fd, 0600);
  FILE* file = ::fdopen(fd, "wb");
  if (!file) {
    ::close(fd);
    ::unlink(temporary.constData());
    return false;
  }
  bool written = WritePng(file, image, keys);
  written = std::fclose(file) == 0 && written;
  if (!written || ::rename(temporary.constData(), target.constData()) != 0) {
    ::unlink(temporary.constData());
    return false;
  }
  return true;
}

QString FolderNameOf(int folderSize) { return folderSize == TVLThumbnailCache::kNormalSize ? "normal" : "large"; }

// Every size folder the standard names, ours and those other programs fill.
constexpr const char* kAllSizeFolders[] = {"normal", "large", "x-large", "xx-large"};

bool KeptInUri(unsigned char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
         (c != 0 && std::strchr("-._~!$&'()*+,=:@/", c) != nullptr);
}

}  // namespace

TVLThumbnailCache::TVLThumbnailCache() : root_(DefaultRoot()) {}

TVLThumbnailCache::TVLThumbnailCache(const QString& root) : root_(root) {}

QString TVLThumbnailCache::DefaultRoot() {
  // XDG: a relative value is invalid and ignored.
  const QString cache = qEnvironmentVariable("XDG_CACHE_HOME");
  const QString base = QDir::isAbsolutePath(cache) ? cache : QDir::homePath() + "/.cache";
  return QDir::cleanPath(base + "/thumbnails");
}

QByteArray TVLThumbnailCache::CanonicalUri(const QString& absolutePath) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  QByteArray uri = "file://";
  for (const char byte : QFile::encodeName(absolutePath)) {
    const auto c = static_cast<unsigned char>(byte);
    if (KeptInUri(c)) {
      uri += char(c);
    } else {
      uri += '%';
      uri += kHex[c >> 4];
      uri += kHex[c & 15];
    }
  }
  return uri;
}

QString TVLThumbnailCache::ThumbnailName(const QString& absolutePath) {
  return QString::fromLatin1(QCryptographicHash::hash(CanonicalUri(absolutePath), QCryptographicHash::Md5).toHex()) +
         ".png";
}

int TVLThumbnailCache::FolderSize(int requestedSize) { return requestedSize <= kNormalSize ? kNormalSize : kLargeSize; }

QString TVLThumbnailCache::ThumbnailPath(const QString& absolutePath, int requestedSize) const {
  return root_ + QLatin1Char('/') + FolderNameOf(FolderSize(requestedSize)) + QLatin1Char('/') +
         ThumbnailName(absolutePath);
}

QString TVLThumbnailCache::FailurePath(const QString& absolutePath) const {
  return root_ + QLatin1Char('/') + kFailFolder + QLatin1Char('/') + ThumbnailName(absolutePath);
}

bool TVLThumbnailCache::InsideCache(const QString& absolutePath) const {
  const auto inside = [](const QString& path, const QString& folder) {
    return !folder.isEmpty() && path.startsWith(folder + QLatin1Char('/'));
  };
  if (inside(QDir::cleanPath(absolutePath), QDir::cleanPath(root_))) return true;
  // Through symbolic links too, where both exist.
  return inside(QFileInfo(absolutePath).canonicalFilePath(), QFileInfo(root_).canonicalFilePath());
}

QImage TVLThumbnailCache::Lookup(const QString& absolutePath, int requestedSize) const {
  TFileFacts facts;
  if (!Enabled() || !FactsOf(absolutePath, facts)) return {};
  for (int size = FolderSize(requestedSize); size <= kLargeSize; size *= 2) {
    QImage thumbnail;
    if (thumbnail.load(ThumbnailPath(absolutePath, size), "PNG") && Describes(thumbnail, facts)) return thumbnail;
  }
  return {};
}

bool TVLThumbnailCache::Store(const QString& absolutePath, const QImage& image, int requestedSize, int originalWidth,
                              int originalHeight, const QString& mime) const {
  TFileFacts facts;
  if (!Enabled() || image.isNull() || !FactsOf(absolutePath, facts) || InsideCache(absolutePath)) return false;
  const int edge = FolderSize(requestedSize);
  const QImage thumbnail = std::max(image.width(), image.height()) > edge
                               ? image.scaled(edge, edge, Qt::KeepAspectRatio, Qt::SmoothTransformation)
                               : image;
  TKeys keys = KeysOf(facts);
  if (originalWidth > 0 && originalHeight > 0) {
    keys.emplace_back("Thumb::Image::Width", QByteArray::number(originalWidth));
    keys.emplace_back("Thumb::Image::Height", QByteArray::number(originalHeight));
  }
  if (!mime.isEmpty()) keys.emplace_back("Thumb::Mimetype", mime.toLatin1());
  return WriteAtomically(root_ + QLatin1Char('/') + FolderNameOf(edge), ThumbnailName(absolutePath), thumbnail, keys);
}

bool TVLThumbnailCache::RecordFailure(const QString& absolutePath) const {
  TFileFacts facts;
  if (!Enabled() || !FactsOf(absolutePath, facts) || InsideCache(absolutePath)) return false;
  QImage empty(1, 1, QImage::Format_RGBA8888);
  empty.fill(Qt::transparent);
  return WriteAtomically(root_ + QLatin1Char('/') + kFailFolder, ThumbnailName(absolutePath), empty, KeysOf(facts));
}

bool TVLThumbnailCache::HasFailed(const QString& absolutePath) const {
  TFileFacts facts;
  if (!Enabled() || !FactsOf(absolutePath, facts)) return false;
  QImage record;
  return record.load(FailurePath(absolutePath), "PNG") && Describes(record, facts);
}

void TVLThumbnailCache::Forget(const QString& absolutePath) const {
  const QString name = ThumbnailName(absolutePath);
  for (const char* folder : kAllSizeFolders) QFile::remove(root_ + QLatin1Char('/') + folder + QLatin1Char('/') + name);
  QFile::remove(FailurePath(absolutePath));
}

void TVLThumbnailCache::Follow(const QString& from, const QString& to) const {
  TFileFacts facts;
  const bool keep = Enabled() && FactsOf(to, facts) && !InsideCache(to);
  const QString oldName = ThumbnailName(from), newName = ThumbnailName(to);
  for (const char* size : kAllSizeFolders) {
    const QString folder = root_ + QLatin1Char('/') + size;
    QImage thumbnail;
    if (!thumbnail.load(folder + QLatin1Char('/') + oldName, "PNG")) continue;
    // The thumbnail must have described the file at its old place, as it is now.
    TFileFacts before = facts;
    before.uri = CanonicalUri(from);
    if (keep && Describes(thumbnail, before)) {
      TKeys keys;
      for (const QString& key : thumbnail.textKeys())
        keys.emplace_back(key.toLatin1(), key == kUriKey ? facts.uri : thumbnail.text(key).toUtf8());
      WriteAtomically(folder, newName, thumbnail, keys);
    }
    QFile::remove(folder + QLatin1Char('/') + oldName);
  }
  QFile::remove(FailurePath(from));
}

}  // namespace velora
