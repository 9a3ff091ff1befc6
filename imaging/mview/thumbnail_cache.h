// The desktop's thumbnail cache (the freedesktop.org Thumbnail Managing Standard): thumbnails
// other programs made are used, and ours are left for them. A thumbnail is a PNG named by the
// MD5 of the file's URI, in thumbnails/normal (128 pixels) or thumbnails/large (256), and holds
// the file's URI, modification time and size, so that it counts only while the file is the
// one it was made of. Files no reader could read are recorded under thumbnails/fail, so that
// they are not tried again until they change.
//
// No widgets and no QPixmap: every member may be called on worker threads, side by side. The
// root and the enabled flag are set up before the cache is shared; only the flag may change
// while it is in use (the user turning the cache off).
#pragma once
#include <QByteArray>
#include <QImage>
#include <QString>

#include <atomic>

namespace velora {

class TVLThumbnailCache {
 public:
  // The folders the standard names and the size each holds.
  static constexpr int kNormalSize = 128;
  static constexpr int kLargeSize = 256;

  // At the desktop's place: $XDG_CACHE_HOME/thumbnails, else ~/.cache/thumbnails.
  TVLThumbnailCache();
  // At another root (the folder that holds normal/, large/ and fail/).
  explicit TVLThumbnailCache(const QString& root);

  static QString DefaultRoot();
  const QString& Root() const { return root_; }
  void SetRoot(const QString& root) { root_ = root; }
  bool Enabled() const { return enabled_.load(std::memory_order_relaxed); }
  void SetEnabled(bool enabled) { enabled_.store(enabled, std::memory_order_relaxed); }

  // The URI a file's thumbnails are named by, as GLib writes it (what GNOME and the
  // thumbnailers that follow it use): "file://" and the path's bytes, every byte outside
  // the letters, digits and -._~!$&'()*+,=:@/ percent-encoded. "/home/jens/photos/me.png"
  // gives "file:///home/jens/photos/me.png".
  static QByteArray CanonicalUri(const QString& absolutePath);
  // The thumbnail's file name: the lowercase hexadecimal MD5 of the URI and ".png".
  static QString ThumbnailName(const QString& absolutePath);
  // The folder size for a requested thumbnail size: 128 up to 128, else 256.
  static int FolderSize(int requestedSize);
  QString ThumbnailPath(const QString& absolutePath, int requestedSize) const;
  QString FailurePath(const QString& absolutePath) const;

  // The cached thumbnail of the file, whoever wrote it, when it still describes the file (its
  // URI, modification time and, when recorded, size agree); a null image otherwise, or when
  // the cache is off. A thumbnail from the larger folder stands in when the requested one has
  // none: the caller scales the answer to its cell either way.
  QImage Lookup(const QString& absolutePath, int requestedSize) const;

  // Keeps `image` (the picture of the file, of any size) as the file's thumbnail: scaled so
  // that its larger side is the folder's size (never enlarged), an 8-bit RGB or RGBA PNG
  // with the standard's keys, written under a temporary name in the same folder and renamed,
  // so that no reader sees half a file. originalWidth/Height are the picture's own size, mime
  // its type (may be empty). False when the cache is off, the file is one of the cache's own
  // or anything cannot be written.
  bool Store(const QString& absolutePath, const QImage& image, int requestedSize, int originalWidth,
             int originalHeight, const QString& mime) const;

  // The file could not be read: a 1 × 1 PNG carrying its keys under fail/tessel-<version>/.
  bool RecordFailure(const QString& absolutePath) const;
  // A failure recorded for the file as it is now (the record is stale once the file changes).
  bool HasFailed(const QString& absolutePath) const;

  // The file was deleted: its thumbnails of every size, and our failure record, go with it (as
  // the standard asks of the program that deletes). Done even while the cache is off.
  void Forget(const QString& absolutePath) const;
  // The file was renamed or moved from `from` to `to`: each thumbnail that described it moves
  // to the new name with its URI key rewritten (written as Store writes); one that no longer
  // described it, and the failure record, go. With the cache off, they only go.
  void Follow(const QString& from, const QString& to) const;

 private:
  bool InsideCache(const QString& absolutePath) const;

  QString root_;
  std::atomic<bool> enabled_{true};
};

}  // namespace velora
