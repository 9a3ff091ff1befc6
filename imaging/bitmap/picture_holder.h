// A picture control: any object that owns the bitmap it shows. Non-visual components bound to
// one work on that bitmap in place, and ask to be told when the holder is freed so that they
// never keep a reference to a bitmap that is gone.
#pragma once
#include <functional>
#include <utility>
#include <vector>

#include "bitmap/toolkit_bitmap.h"

namespace velora {

class TVLPictureHolder {
 public:
  using TFreeNotification = std::function<void()>;

  TVLPictureHolder() = default;
  TVLPictureHolder(const TVLPictureHolder&) = delete;
  TVLPictureHolder& operator=(const TVLPictureHolder&) = delete;
  virtual ~TVLPictureHolder() {
    // Each record leaves the list before it is called, so that a subscriber removing itself
    // meanwhile finds nothing to remove.
    while (!FreeNotifications_.empty()) {
      TFreeNotification f = std::move(FreeNotifications_.front().second);
      FreeNotifications_.erase(FreeNotifications_.begin());
      if (f) f();
    }
  }

  // The picture as a bitmap; its Modified notification makes the holder repaint.
  virtual TBitmap& PictureBitmap() = 0;

  // Returns an id for RemoveFreeNotification.
  int AddFreeNotification(TFreeNotification notification) {
    FreeNotifications_.emplace_back(NextId_, std::move(notification));
    return NextId_++;
  }
  void RemoveFreeNotification(int id) {
    for (auto it = FreeNotifications_.begin(); it != FreeNotifications_.end(); ++it)
      if (it->first == id) {
        FreeNotifications_.erase(it);
        return;
      }
  }

 private:
  std::vector<std::pair<int, TFreeNotification>> FreeNotifications_;
  int NextId_ = 1;
};

}  // namespace velora
