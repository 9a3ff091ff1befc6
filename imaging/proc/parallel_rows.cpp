#include "parallel_rows.h"

#include <algorithm>
#include <atomic>
#include <exception>
#include <mutex>
#include <thread>
#include <vector>

namespace velora {

void ParallelRows(int count, int grain, const std::function<void(int, int)>& body,
                  const std::function<void(int)>& onDone, bool threads) {
  if (count <= 0) return;
  grain = std::max(grain, 1);
  const int chunks = (count + grain - 1) / grain;
  const int cores = int(std::max(1u, std::thread::hardware_concurrency()));
  const int helpers = threads ? std::min(cores, chunks) - 1 : 0;
  std::atomic<int> next{0};
  std::atomic<int> done{0};
  std::exception_ptr failure;
  std::mutex failureLock;
  auto work = [&](bool reports) {
    for (;;) {
      const int c = next.fetch_add(1);
      if (c >= chunks) break;
      const int b = c * grain, e = std::min(count, b + grain);
      try {
        body(b, e);
      } catch (...) {
        // Out of memory in a band: stop handing out bands and rethrow on the calling thread.
        std::lock_guard<std::mutex> lock(failureLock);
        if (!failure) failure = std::current_exception();
        next.store(chunks);
        break;
      }
      const int d = done.fetch_add(e - b) + (e - b);
      if (reports && onDone) onDone(d);
    }
  };
  std::vector<std::thread> pool;
  for (int t = 0; t < helpers; ++t) pool.emplace_back(work, false);
  work(true);
  for (auto& t : pool) t.join();
  if (failure) std::rethrow_exception(failure);
  if (onDone) onDone(count);
}

}  // namespace velora
