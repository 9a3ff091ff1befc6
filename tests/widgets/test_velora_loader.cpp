// The loader's workers with fake slow jobs: the order jobs run in, stale results dropped
// (renewed channel, deleted receiver), queued jobs taken back or moved up, a running job
// told to stop; and the thumbnail column on the loader with a fake slow reader: it paints
// without waiting, asks for the visible cells first and fills them as they arrive.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTest>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

#include "widgets/test_gate.h"
#include "mview/velora_loader.h"
#include "mview/velora_mview.h"

using namespace velora;
using namespace std::chrono_literals;

namespace {


bool Settle(TVeloraLoader& loader) {
  return QTest::qWaitFor([&] { return loader.Busy() == 0; }, 30000);
}

// A job that holds the only worker until the gate opens.
void Occupy(TVeloraLoader& loader, const TLoadChannelPtr& channel, Gate& gate, std::atomic<bool>& started) {
  loader.Submit(channel, 1000, -1, nullptr, [&gate, &started](const TLoadTicket&) -> TLoadDone {
    started = true;
    gate.Wait();
    return {};
  });
  ASSERT_TRUE(QTest::qWaitFor([&] { return started.load(); }, 30000));
}

}  // namespace

TEST(Loader, RunsTheMostUrgentFirstAndEqualOnesInOrder) {
  TVeloraLoader loader(1);
  QObject receiver;
  auto channel = loader.NewChannel();
  Gate gate;
  std::atomic<bool> started{false};
  Occupy(loader, channel, gate, started);
  std::vector<int> ran, delivered;
  std::mutex m;
  for (auto [key, priority] : std::vector<std::pair<int, int>>{{1, 1}, {2, 5}, {3, 3}, {4, 5}, {5, 0}}) {
    loader.Submit(channel, priority, key, &receiver, [&, key = key](const TLoadTicket&) -> TLoadDone {
      std::lock_guard lock(m);
      ran.push_back(key);
      return [&, key] { delivered.push_back(key); };
    });
  }
  EXPECT_TRUE(loader.Reprioritize(channel, 5, 4));  // key 5 moves up behind the two fives
  EXPECT_FALSE(loader.Reprioritize(channel, 99, 4));
  gate.Open();
  ASSERT_TRUE(Settle(loader));
  EXPECT_EQ(ran, (std::vector<int>{2, 4, 5, 3, 1}));
  EXPECT_EQ(delivered, ran);  // on the GUI thread, in the order they were done
}

TEST(Loader, RenewingAChannelDropsItsQueuedJobsAndStaleResults) {
  TVeloraLoader loader(1);
  QObject receiver;
  auto channel = loader.NewChannel(), other = loader.NewChannel();
  Gate gate;
  std::atomic<bool> started{false};
  Occupy(loader, other, gate, started);
  std::atomic<int> ran{0};
  int delivered = 0;
  auto count = [&](const TLoadTicket&) -> TLoadDone {
    ++ran;
    return [&] { ++delivered; };
  };
  loader.Submit(channel, 1, 1, &receiver, count);
  loader.Submit(other, 1, 2, &receiver, count);
  loader.Renew(channel);
  gate.Open();
  ASSERT_TRUE(Settle(loader));
  EXPECT_EQ(ran, 1);  // only the other channel's job ran
  EXPECT_EQ(delivered, 1);

  // Done on the worker, renewed before the GUI thread took the result: dropped.
  loader.Submit(channel, 1, 3, &receiver, count);
  // Without running the event loop: the job is done and its result posted, not delivered.
  for (int i = 0; i < 5000 && !(ran == 2 && loader.Busy() == 1); ++i) std::this_thread::sleep_for(1ms);
  ASSERT_EQ(loader.Busy(), 1);
  loader.Renew(channel);
  ASSERT_TRUE(Settle(loader));
  EXPECT_EQ(delivered, 1);
}

TEST(Loader, ARunningJobSeesItWentStaleAndItsResultIsDropped) {
  TVeloraLoader loader(2);
  QObject receiver;
  auto channel = loader.NewChannel();
  std::atomic<bool> started{false}, sawStale{false};
  bool delivered = false;
  loader.Submit(channel, 1, 1, &receiver, [&](const TLoadTicket& ticket) -> TLoadDone {
    started = true;
    // A slow reader asking at each row whether anyone still wants the picture.
    for (int row = 0; row < 5000 && !ticket.Stale(); ++row) std::this_thread::sleep_for(1ms);
    sawStale = ticket.Stale();
    return [&] { delivered = true; };
  });
  ASSERT_TRUE(QTest::qWaitFor([&] { return started.load(); }, 30000));
  loader.Renew(channel);
  ASSERT_TRUE(Settle(loader));
  EXPECT_TRUE(sawStale);
  EXPECT_FALSE(delivered);
}

// Closing the window destroys the loader while a large picture decodes: the decode is told
// to stop, so the window's end does not wait for it.
TEST(Loader, DestroyingTheLoaderStopsTheRunningJobs) {
  auto loader = std::make_unique<TVeloraLoader>(2);
  auto channel = loader->NewChannel();
  std::atomic<int> started{0}, sawStale{0};
  for (int key = 0; key < 2; ++key)
    loader->Submit(channel, 1, key, nullptr, [&](const TLoadTicket& ticket) -> TLoadDone {
      ++started;
      // Long enough (20 s) that only being told to stop ends it within the test.
      for (int row = 0; row < 20000 && !ticket.Stale(); ++row) std::this_thread::sleep_for(1ms);
      if (ticket.Stale()) ++sawStale;
      return {};
    });
  ASSERT_TRUE(QTest::qWaitFor([&] { return started.load() == 2; }, 30000));
  loader.reset();
  EXPECT_EQ(sawStale.load(), 2);
}

TEST(Loader, AResultForADeletedReceiverIsDropped) {
  TVeloraLoader loader(1);
  auto channel = loader.NewChannel();
  auto* receiver = new QObject;
  bool delivered = false;
  Gate gate;
  loader.Submit(channel, 1, 1, receiver, [&](const TLoadTicket&) -> TLoadDone {
    gate.Wait();
    return [&] { delivered = true; };
  });
  delete receiver;
  gate.Open();
  ASSERT_TRUE(Settle(loader));
  EXPECT_FALSE(delivered);
}

TEST(Loader, TakingQueuedJobsBackReturnsTheirKeys) {
  TVeloraLoader loader(1);
  auto channel = loader.NewChannel(), other = loader.NewChannel();
  Gate gate;
  std::atomic<bool> started{false};
  Occupy(loader, other, gate, started);
  std::atomic<int> ran{0};
  for (int key : {7, 8}) loader.Submit(channel, 1, key, nullptr, [&](const TLoadTicket&) -> TLoadDone {
      ++ran;
      return {};
    });
  loader.Submit(other, 1, 9, nullptr, [&](const TLoadTicket&) -> TLoadDone { return {}; });
  EXPECT_EQ(loader.TakeQueued(channel), (std::vector<int64_t>{7, 8}));
  gate.Open();
  ASSERT_TRUE(Settle(loader));
  EXPECT_EQ(ran, 0);
}

TEST(Loader, ThreadsOnePerCoreAtMostFour) {
  const int n = TVeloraLoader::DefaultThreadCount();
  EXPECT_GE(n, 1);
  EXPECT_LE(n, 4);
  EXPECT_EQ(TVeloraLoader(3).ThreadCount(), 3);
}

// ---- the column on the loader ----------------------------------------------------------------

namespace {

// A reader that takes its time: it records what it was asked for, then waits at the gate.
struct SlowReader {
  Gate gate;
  std::mutex m;
  std::vector<std::string> asked;
  TVeloraMView::TThumbnailSource Source() {
    return [this](const TPictureRequest& r, int tw, int th, const std::function<bool()>&) {
      {
        std::lock_guard lock(m);
        asked.push_back(r.FileName);
      }
      gate.Wait();
      auto p = std::make_shared<TPictureResult>();
      p->FileName = r.FileName;
      if (r.FileName.find("bad") != std::string::npos) {
        p->Failed = true;
        p->Reason = "fake: damaged";
        return p;
      }
      p->Bitmap.Reset(tw, th / 2, TPixelFormat::pf24bit);
      return p;
    };
  }
  std::vector<std::string> Asked() {
    std::lock_guard lock(m);
    return asked;
  }
};

struct Column {
  TVeloraLoader loader{1};
  TVeloraMView m;
  explicit Column(SlowReader& reader, int count) {
    m.resize(114, 320);  // three cells and a bit
    m.SetStoreType(vltThumb);
    m.SetGridWidth(-1);
    m.ThumbnailSource = reader.Source();
    m.SetLoader(&loader);
    for (int i = 0; i < count; ++i) {
      int idx = m.AppendImageQuietly();
      m.SetImageFileName(idx, (i == 1 ? "bad" : "f") + std::to_string(i));
    }
  }
  ~Column() { m.SetLoader(nullptr); }
};

}  // namespace

TEST(LoaderColumn, PaintsAtOnceAndAsksForTheVisibleCellsFirst) {
  SlowReader reader;
  Column c(reader, 40);
  c.m.SetViewY(104 * 10);  // cells 10 .. 13 visible
  c.m.show();
  c.m.repaint();  // returns although no thumbnail is read
  EXPECT_FALSE(c.m.HasStoredImage(10));
  reader.gate.Open();
  ASSERT_TRUE(QTest::qWaitFor([&] { return c.m.HasStoredImage(10) && c.m.HasStoredImage(12); }, 30000));
  const auto asked = reader.Asked();
  // The visible cells are all read before the next screenful.
  std::vector<std::string> visible;
  for (int i = 0; i < c.m.ImageCount(); ++i)
    if (c.m.IsImageVisible(i) != vlivHidden) visible.push_back(c.m.GetImageFileName(i));
  ASSERT_EQ(visible.size(), 3u);
  ASSERT_GE(asked.size(), visible.size());
  std::vector<std::string> first(asked.begin(), asked.begin() + visible.size());
  std::sort(first.begin(), first.end());
  EXPECT_EQ(first, visible);
  // The next screenful each way follows; far cells are not read.
  ASSERT_TRUE(Settle(c.loader));
  QApplication::processEvents();
  ASSERT_TRUE(Settle(c.loader));
  EXPECT_TRUE(c.m.HasStoredImage(7));
  EXPECT_TRUE(c.m.HasStoredImage(16));
  EXPECT_FALSE(c.m.HasStoredImage(0));
  EXPECT_FALSE(c.m.HasStoredImage(30));
}

TEST(LoaderColumn, AFailedCellSaysWhyAndIsNotReadAgainUntilItsFileChanges) {
  SlowReader reader;
  reader.gate.Open();
  Column c(reader, 3);
  c.m.show();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !c.m.ImageReadFailure(1).empty(); }, 30000));
  EXPECT_EQ(c.m.ImageReadFailure(1), "fake: damaged");
  ASSERT_TRUE(Settle(c.loader));
  c.m.repaint();
  ASSERT_TRUE(Settle(c.loader));
  auto asked = reader.Asked();
  EXPECT_EQ(std::count(asked.begin(), asked.end(), "bad1"), 1);
  c.m.InvalidateImage(1);
  c.m.repaint();
  ASSERT_TRUE(Settle(c.loader));
  asked = reader.Asked();
  EXPECT_EQ(std::count(asked.begin(), asked.end(), "bad1"), 2);
}

TEST(LoaderColumn, ResultsForEntriesDeletedOrClearedMeanwhileAreDropped) {
  SlowReader reader;
  Column c(reader, 3);
  c.m.show();
  c.m.repaint();
  ASSERT_TRUE(QTest::qWaitFor([&] { return !reader.Asked().empty(); }, 30000));
  c.m.DeleteImage(0);  // whichever entry is being read, the others move up
  c.m.DeleteImage(0);
  reader.gate.Open();
  ASSERT_TRUE(Settle(c.loader));
  QApplication::processEvents();
  ASSERT_TRUE(Settle(c.loader));
  ASSERT_EQ(c.m.ImageCount(), 1);
  EXPECT_EQ(c.m.GetImageFileName(0), "f2");
  EXPECT_TRUE(c.m.HasStoredImage(0));  // its own picture, not one of the deleted ones
  TBitmap* b = c.m.GetImageBitmap(0);
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(b->Height(), 50);
  c.m.ReleaseBitmap(b);
  c.m.Clear();
  EXPECT_EQ(c.m.ImageCount(), 0);
}
