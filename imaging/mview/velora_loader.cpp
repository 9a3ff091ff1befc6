#include "velora_loader.h"

#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <exception>

#include "io/format_descriptor.h"
#include "io/io_params.h"
#include "io/velora_io.h"

namespace velora {

// ---- the workers ---------------------------------------------------------------------------

namespace {
constexpr int kWorkerNice = 5;
}  // namespace

int TVeloraLoader::DefaultThreadCount() {
  return std::clamp(int(std::thread::hardware_concurrency()), 1, 4);
}

TVeloraLoader::TVeloraLoader(int threads, QObject* parent) : QObject(parent) {
  for (int i = 0; i < std::max(threads, 1); ++i) Workers_.emplace_back([this] { WorkerLoop(); });
}

TVeloraLoader::~TVeloraLoader() {
  {
    std::lock_guard lock(Mutex_);
    Stopping_ = true;
    Queue_.clear();
    // Nobody takes the results any more: a running read stops at its next progress check
    // rather than decoding a large picture to the end while the window is gone.
    for (const TLoadChannelPtr& channel : RunningChannels_) channel->Generation++;
  }
  Wake_.notify_all();
  for (std::thread& t : Workers_) t.join();
}

void TVeloraLoader::Renew(const TLoadChannelPtr& channel) {
  std::lock_guard lock(Mutex_);
  channel->Generation++;
  std::erase_if(Queue_, [&](const TJob& job) { return job.Ticket.Channel == channel; });
}

void TVeloraLoader::Submit(const TLoadChannelPtr& channel, int priority, int64_t key, QObject* receiver,
                           TLoadWork work) {
  {
    std::lock_guard lock(Mutex_);
    Queue_.push_back(TJob{{channel, channel->Generation.load()}, priority, NextOrder_++, key, receiver, std::move(work)});
  }
  Wake_.notify_one();
}

std::vector<int64_t> TVeloraLoader::TakeQueued(const TLoadChannelPtr& channel) {
  std::vector<int64_t> keys;
  std::lock_guard lock(Mutex_);
  std::erase_if(Queue_, [&](const TJob& job) {
    if (job.Ticket.Channel != channel) return false;
    keys.push_back(job.Key);
    return true;
  });
  return keys;
}

bool TVeloraLoader::Reprioritize(const TLoadChannelPtr& channel, int64_t key, int priority) {
  std::lock_guard lock(Mutex_);
  for (TJob& job : Queue_)
    if (job.Ticket.Channel == channel && job.Key == key) {
      job.Priority = priority;
      return true;
    }
  return false;
}

int TVeloraLoader::Busy() const {
  std::lock_guard lock(Mutex_);
  return int(Queue_.size()) + Running_ + int(Results_.size());
}

void TVeloraLoader::WorkerLoop() {
  // Workers give way to the GUI thread: with as many decodes running as there are cores, the
  // event loop would otherwise wait for a core before it could paint or take a key.
  setpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()), kWorkerNice);
  for (;;) {
    TJob job;
    {
      std::unique_lock lock(Mutex_);
      Wake_.wait(lock, [this] { return Stopping_ || !Queue_.empty(); });
      if (Stopping_) return;
      // The most urgent job; among equals the one asked for first.
      auto next = std::min_element(Queue_.begin(), Queue_.end(), [](const TJob& a, const TJob& b) {
        return a.Priority != b.Priority ? a.Priority > b.Priority : a.Order < b.Order;
      });
      job = std::move(*next);
      Queue_.erase(next);
      ++Running_;
      RunningChannels_.push_back(job.Ticket.Channel);
    }
    TLoadDone done;
    if (!job.Ticket.Stale()) {
      try {
        done = job.Work(job.Ticket);
      } catch (...) {
        // A job that throws has no result; the readers report their failures themselves.
      }
    }
    if (done && !job.Ticket.Stale()) Deliver(job, std::move(done));
    std::lock_guard lock(Mutex_);
    --Running_;
    RunningChannels_.erase(std::find(RunningChannels_.begin(), RunningChannels_.end(), job.Ticket.Channel));
  }
}

void TVeloraLoader::Deliver(TJob& job, TLoadDone done) {
  // The results go to the GUI thread through the queue's own lock, so that everything a
  // result carries is handed over under it; the queued call only says that some are there.
  // It is made by name and carries nothing of ours: a functor would be built here and read on
  // the GUI thread with only Qt's futex-based queue between the two, which ThreadSanitizer
  // cannot see, while this lock it sees.
  bool first;
  {
    std::lock_guard lock(Mutex_);
    first = Results_.empty();
    Results_.push_back(TResult{std::move(job.Receiver), job.Ticket, std::move(done)});
  }
  if (first) QMetaObject::invokeMethod(this, "DeliverResults", Qt::QueuedConnection);
}

void TVeloraLoader::DeliverResults() {
  std::vector<TResult> results;
  {
    std::lock_guard lock(Mutex_);
    results.swap(Results_);
  }
  // The receiver and the channel are looked at here, on the GUI thread, where they change.
  for (TResult& r : results)
    if (r.Receiver && !r.Ticket.Stale()) r.Done();
}

// ---- reading a picture ---------------------------------------------------------------------

TFileStamp StampOfFile(const std::string& path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return {};
  return {int64_t(st.st_size), int64_t(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec};
}

TPicturePtr ReadPicture(const TPictureRequest& request, const std::function<bool()>& stop) {
  auto result = std::make_shared<TPictureResult>();
  result->FileName = request.FileName;
  result->Stamp = StampOfFile(request.FileName);
  TVeloraIO io;
  TBitmap& bitmap = result->Bitmap;
  bitmap.Reset(1, 1, TPixelFormat::pf24bit);
  io.AttachBitmap(&bitmap);
  io.SetAlphaMask(&result->Alpha);
  const TColor background = TRGBToTColor(request.Background);
  io.SetBackground(background);
  TIOParamsVals& params = io.Params();
  params.JpegApplyOrientation = request.Upright;
  params.ConvertToSRGB = true;  // shown, so in the screen's colours, whatever profile the file has
  params.JpegScale = request.JpegScale;
  params.TiffImageIndex = request.Page;
  if (request.JpegScale == 0) {
    params.Width = request.Width;
    params.Height = request.Height;
  }
  // A reader reports its progress row by row: the moment to ask whether anyone still
  // wants the picture.
  if (stop)
    io.OnProgress = [&io, &stop](TVLObject*, int) {
      if (stop()) io.Aborting = true;
    };
  try {
    io.LoadFromFile(request.FileName);
  } catch (const std::exception& e) {
    // Deleted or locked since it was listed: the open failure's own words name the file.
    io.Aborting = true;
    io.AbortReason = e.what();
  }
  io.AttachBitmap(nullptr);
  io.SetAlphaMask(nullptr);
  result->Failed = io.Aborting;
  result->Reason = io.AbortReason;
  result->Background = io.Background();
  result->BackgroundChanged = result->Background != background;
  const TVLFormatDescriptor* format = VLFindBuiltinFormat(params.FileType);
  result->ViewDpi = format && format->ViewDpiAfterFile;
  result->DpiX = params.DpiX;
  result->DpiY = params.DpiY;
  result->Params = std::make_unique<TIOParamsVals>();
  result->Params->AssignParams(params);
  result->Page = request.Page;
  result->Pages = PageCount(params);
  if (request.Histogram && !result->Failed && bitmap.PixelFormat() == TPixelFormat::pf24bit) {
    auto table = std::make_shared<THistogram>();
    ComputeHistogram(bitmap, 0, 0, bitmap.Width(), bitmap.Height(), *table);
    result->Histogram = std::move(table);
  }
  return result;
}

int PageCount(const TIOParamsVals& params) {
  return params.FileType == ioTIFF ? std::max(params.TiffImageCount, 1) : 1;
}

// ---- the cache of pictures read ahead ------------------------------------------------------

namespace {

// Half of what the machine says it has available, when it says so.
int64_t AvailableMemoryShare() {
  FILE* f = std::fopen("/proc/meminfo", "r");
  if (!f) return INT64_MAX;
  char line[256];
  int64_t kb = -1;
  while (std::fgets(line, sizeof line, f))
    if (std::sscanf(line, "MemAvailable: %ld kB", &kb) == 1) break;
  std::fclose(f);
  return kb > 0 ? kb * 1024 / 2 : INT64_MAX;
}

}  // namespace

TPictureCache::TPictureCache() : MaxBytes(std::min<int64_t>(512ll << 20, AvailableMemoryShare())) {}

std::vector<TPicturePtr> TPictureCache::Put(TPicturePtr picture) {
  std::vector<TPicturePtr> gone;
  if (!picture || picture->Failed) return gone;
  for (auto it = Items_.begin(); it != Items_.end();)
    if ((*it)->FileName == picture->FileName) {
      gone.push_back(std::move(*it));
      it = Items_.erase(it);
    } else {
      ++it;
    }
  Items_.push_back(std::move(picture));
  int64_t bytes = 0;
  for (const TPicturePtr& p : Items_) bytes += p->Bytes();
  while (!Items_.empty() && (int(Items_.size()) > Capacity || bytes > MaxBytes)) {
    bytes -= Items_.front()->Bytes();
    gone.push_back(std::move(Items_.front()));
    Items_.erase(Items_.begin());
  }
  return gone;
}

TPicturePtr TPictureCache::Take(const std::string& path, const TFileStamp& stamp) {
  auto it = std::find_if(Items_.begin(), Items_.end(), [&](const TPicturePtr& p) { return p->FileName == path; });
  if (it == Items_.end()) return nullptr;
  TPicturePtr picture = std::move(*it);
  Items_.erase(it);
  if (!(picture->Stamp == stamp) || !stamp.Valid()) return nullptr;  // changed on disk: read it again
  return picture;
}

bool TPictureCache::Contains(const std::string& path) const {
  return std::any_of(Items_.begin(), Items_.end(), [&](const TPicturePtr& p) { return p->FileName == path; });
}

}  // namespace velora
