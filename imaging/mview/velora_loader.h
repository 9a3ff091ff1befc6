// TVeloraLoader: a few worker threads that read files for the views, so that the GUI thread
// never waits for a decode. A job is a function run on a worker; what it returns runs back on
// the GUI thread (by queued call), unless its result went stale meanwhile: every job belongs
// to a channel, and renewing the channel (a new selection, a cleared list) drops its queued
// jobs, tells its running ones to stop, and discards whatever they still deliver.
//
// The workers share nothing with the GUI thread but the queue: a job owns its TVeloraIO, its
// parameter record and its bitmap, and hands them over whole with its result.
#pragma once
#include <QObject>
#include <QPointer>
#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "bitmap/toolkit_bitmap.h"
#include "bitmap/vl_mask.h"
#include "base/vl_types.h"
#include "proc/color_adjust.h"

namespace velora {

class TIOParamsVals;

// A stream of jobs whose results go stale together.
struct TLoadChannel {
  std::atomic<uint64_t> Generation{0};
};
using TLoadChannelPtr = std::shared_ptr<TLoadChannel>;

// Given to a running job: whether its result is still wanted.
struct TLoadTicket {
  TLoadChannelPtr Channel;
  uint64_t Generation = 0;
  bool Stale() const { return Channel->Generation.load(std::memory_order_relaxed) != Generation; }
};

// Runs on the GUI thread with a job's result.
using TLoadDone = std::function<void()>;
// Runs on a worker; returns what to do with the result on the GUI thread (or nothing).
using TLoadWork = std::function<TLoadDone(const TLoadTicket&)>;

class TVeloraLoader : public QObject {
  Q_OBJECT

 public:
  // One worker per core, at most 4.
  static int DefaultThreadCount();
  explicit TVeloraLoader(int threads = DefaultThreadCount(), QObject* parent = nullptr);
  // Drops the queued jobs, tells the running ones to stop (their channels are renewed: a
  // reader stops at its next row) and waits for them.
  ~TVeloraLoader() override;

  TLoadChannelPtr NewChannel() const { return std::make_shared<TLoadChannel>(); }
  // Makes everything the channel was asked for stale: queued jobs are dropped, running ones
  // see Stale() and their results are discarded.
  void Renew(const TLoadChannelPtr& channel);

  // Queues work; higher priorities run first, equal ones in the order given. receiver is an
  // object of the GUI thread: when it is gone, the result is dropped.
  void Submit(const TLoadChannelPtr& channel, int priority, int64_t key, QObject* receiver, TLoadWork work);
  // Removes the channel's queued jobs (not the running ones) and returns their keys.
  std::vector<int64_t> TakeQueued(const TLoadChannelPtr& channel);
  // Moves a queued job of the channel to another priority; false when none is queued by key.
  bool Reprioritize(const TLoadChannelPtr& channel, int64_t key, int priority);

  // Jobs queued, running, or with a result not yet delivered.
  int Busy() const;
  int ThreadCount() const { return int(Workers_.size()); }

 private:
  struct TJob {
    TLoadTicket Ticket;
    int Priority = 0;
    uint64_t Order = 0;
    int64_t Key = 0;
    QPointer<QObject> Receiver;
    TLoadWork Work;
  };
  // A result waiting for the GUI thread.
  struct TResult {
    QPointer<QObject> Receiver;
    TLoadTicket Ticket;
    TLoadDone Done;
  };
  void WorkerLoop();
  void Deliver(TJob& job, TLoadDone done);
  // Invoked by name, so that the queued call is made and run inside Qt: see Deliver.
  Q_INVOKABLE void DeliverResults();

  mutable std::mutex Mutex_;
  std::condition_variable Wake_;
  std::vector<TJob> Queue_;
  uint64_t NextOrder_ = 0;
  int Running_ = 0;
  std::vector<TLoadChannelPtr> RunningChannels_;  // one per running job
  std::vector<TResult> Results_;
  bool Stopping_ = false;
  std::vector<std::thread> Workers_;
};

// ---- reading a picture on a worker ----------------------------------------------------------

// A file's identity on disk: a file replaced or rewritten differs in one of them.
struct TFileStamp {
  int64_t Size = -1;
  int64_t MTimeNs = 0;
  bool operator==(const TFileStamp&) const = default;
  bool Valid() const { return Size >= 0; }
};
TFileStamp StampOfFile(const std::string& path);

struct TPictureRequest {
  std::string FileName;
  TRGB Background{};             // what transparent pixels are composited over
  bool Upright = true;           // turn photos by their EXIF orientation
  uint8_t JpegScale = 1;         // 0 automatic (by Width and Height), 1 full .. 4 eighth
  int Width = 0, Height = 0;     // the box an automatic JPEG scale must cover
  int Page = 0;                  // of a file with pages (TIFF), from 0
  bool Histogram = false;        // count the picture's levels too, on the worker
};

// What a read left: the picture and everything a view takes over from its reader.
struct TPictureResult {
  std::string FileName;
  TFileStamp Stamp;
  TBitmap Bitmap;
  TVLMask Alpha;                 // the reader's alpha plane (255 throughout when opaque)
  bool Failed = false;
  std::string Reason;            // why it failed, in the reader's words
  TColor Background = clBlack;   // the reader's background after the read
  bool BackgroundChanged = false;
  bool ViewDpi = false;          // the format gives its resolution to the view
  int DpiX = 0, DpiY = 0;
  std::unique_ptr<TIOParamsVals> Params;  // the record as the read left it
  int Page = 0, Pages = 1;       // the page read, and how many the file has
  std::shared_ptr<const THistogram> Histogram;  // when asked for and the picture has 24 bits
  int64_t Bytes() const { return Bitmap.ImageSize() + int64_t(Alpha.RowLen()) * Alpha.Height(); }
};
using TPicturePtr = std::shared_ptr<TPictureResult>;

// Reads request.FileName with a TVeloraIO of its own; stops early (Failed) once stop says so.
TPicturePtr ReadPicture(const TPictureRequest& request, const std::function<bool()>& stop = {});

// The pages of the file a record was read from: a TIFF's pages; 1 for everything else (the
// frames of a GIF are an animation, not pages).
int PageCount(const TIOParamsVals& params);

// ---- pictures read ahead ---------------------------------------------------------------------

// The pictures read ahead, by file name: at most Capacity of them and MaxBytes together, the
// oldest leaving first. A picture whose file changed since it was read is not handed out.
class TPictureCache {
 public:
  TPictureCache();
  // Returns the pictures that had to leave, for the caller to free where it suits it.
  std::vector<TPicturePtr> Put(TPicturePtr picture);
  // Takes the picture of path out of the cache when the file is still as it was read.
  TPicturePtr Take(const std::string& path, const TFileStamp& stamp);
  bool Contains(const std::string& path) const;
  void Clear() { Items_.clear(); }
  int Count() const { return int(Items_.size()); }

  int Capacity = 3;
  int64_t MaxBytes;  // 512 MB, less when the machine has little memory available

 private:
  std::vector<TPicturePtr> Items_;  // oldest first
};

}  // namespace velora
