// The progress convention of every codec and processing routine: an integer percentage
// 0..100 reported through TVLProgressEvent, and a shared Aborting flag that the caller reads
// and a codec sets (or tests, to stop) through the record. A codec that stops because of bad
// data says why through Fail: the first reason given is the one kept, since later failures
// are usually consequences of it.
#pragma once
#include <functional>
#include <string>
#include <string_view>

#include "vl_types.h"

namespace velora {

using TVLProgressEvent = std::function<void(TVLObject* sender, int per)>;

struct TVLProgressRecord {
  TVLProgressEvent fOnProgress;  // may be empty: then nothing is reported
  TVLObject* Sender = nullptr;
  double per1 = 0;               // per-row scale, 100 / rows, set by the codec
  bool* Aborting = nullptr;      // the I/O component's flag
  std::string* Reason = nullptr; // the I/O component's failure text, may be absent

  void Report(int per) const {
    if (fOnProgress) fOnProgress(Sender, per);
  }
  void ReportRows(int rowsDone) const {
    if (fOnProgress) fOnProgress(Sender, int(rowsDone * per1));
  }
  bool Aborted() const { return Aborting && *Aborting; }
  void Abort() const {
    if (Aborting) *Aborting = true;
  }
  void Fail(std::string_view reason) const {
    if (Reason && Reason->empty() && !Aborted()) *Reason = reason;
    Abort();
  }
};

// A record that only carries a flag: for callers without an I/O component (tests, tools).
struct TVLLocalProgress {
  bool aborting = false;
  std::string reason;
  TVLProgressRecord record;
  TVLLocalProgress() {
    record.Aborting = &aborting;
    record.Reason = &reason;
  }
  TVLLocalProgress(const TVLLocalProgress&) = delete;
  TVLLocalProgress& operator=(const TVLLocalProgress&) = delete;
};

}  // namespace velora
