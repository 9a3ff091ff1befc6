// Bands of rows spread over the machine's cores: resampling, turning and the filters of large
// pictures are all independent per row (or per band of output rows).
#pragma once
#include <cstdint>
#include <functional>

namespace velora {

// Below this many pixels, starting threads costs more than it saves.
constexpr int64_t kThreadedPixels = int64_t(1) << 18;
inline bool WorthThreads(int64_t pixels) { return pixels >= kThreadedPixels; }

// Runs body(begin, end) over [0, count) in bands of `grain` on the available cores (on the
// calling thread alone when `threads` is false). onDone(doneCount) is called on the calling
// thread only, as bands finish, for progress reports. An exception in a band stops handing out
// bands and is rethrown on the calling thread.
void ParallelRows(int count, int grain, const std::function<void(int, int)>& body,
                  const std::function<void(int)>& onDone = nullptr, bool threads = true);

}  // namespace velora
