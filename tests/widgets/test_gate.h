// A door a fake reader or job waits at until the test opens it.
#pragma once
#include <condition_variable>
#include <mutex>

struct Gate {
  std::mutex m;
  std::condition_variable cv;
  bool open = false;
  void Wait() {
    std::unique_lock lock(m);
    cv.wait(lock, [this] { return open; });
  }
  void Open() {
    {
      std::lock_guard lock(m);
      open = true;
    }
    cv.notify_all();
  }
};
