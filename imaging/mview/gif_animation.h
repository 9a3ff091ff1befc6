// Animated GIFs: the frames composed onto the file's canvas by their offsets, transparency and
// disposal rules (as browsers and ImageMagick's -coalesce compose them), and a player that
// composes them on the loader's workers and hands them to the GUI thread at their delays.
#pragma once
#include <QObject>
#include <QTimer>
#include <functional>
#include <memory>
#include <string>

#include "bitmap/toolkit_bitmap.h"
#include "bitmap/vl_mask.h"
#include "mview/velora_loader.h"

namespace velora {

// How long a frame shows: its delay in hundredths of a second; 0 and 1 count as 100 ms, as
// browsers count them (files made for them rely on it).
int GifFrameDelayMs(int delayHundredths);

// One composed frame: the whole canvas, 24 bits, with its alpha (0 where nothing was drawn yet
// or where a disposal cleared it).
struct TGifFrame {
  int Index = 0;
  int DelayMs = 100;
  TBitmap Canvas;
  TVLMask Alpha;
};
using TGifFramePtr = std::shared_ptr<TGifFrame>;

// Composes the frames of one file in order, each read on its own (GifImageIndex). Not thread
// safe: one thread at a time, which the player's chain of jobs guarantees.
class TGifComposer {
 public:
  explicit TGifComposer(std::string fileName) : FileName_(std::move(fileName)) {}
  // Composes the next frame (the first again after the last) and returns a copy of the canvas
  // with it; nullptr when the frame cannot be read (Reason says why) or stop says so.
  TGifFramePtr Next(const std::function<bool()>& stop = {});
  int FrameCount() const { return Count_; }
  const std::string& Reason() const { return Reason_; }

 private:
  void Dispose();
  void Restart(int width, int height, TRGB background);

  std::string FileName_;
  int Next_ = 0;
  int Count_ = 0;
  std::string Reason_;
  TBitmap Canvas_;
  TVLMask Alpha_;
  TRGB Background_{};
  // What the frame just drawn asks for before the next one: its disposal and its rectangle,
  // and for disposal 3 the canvas as it was before it.
  int Disposal_ = 0;
  int X_ = 0, Y_ = 0, W_ = 0, H_ = 0;
  TBitmap Saved_;
  TVLMask SavedAlpha_;
};

// Plays a GIF: composes the next frame on a worker while the current one shows, and shows it
// once the current frame's delay is over. The first frame is composed as soon as it starts.
class TGifPlayer : public QObject {
  Q_OBJECT

 public:
  explicit TGifPlayer(TVeloraLoader& loader, QObject* parent = nullptr);
  ~TGifPlayer() override;

  // Starts playing fileName from its first frame (frameCount from the read of frame 0).
  void Start(const std::string& fileName, int priority);
  void Stop();
  bool Playing() const { return Composer_ != nullptr; }
  void SetPaused(bool paused);
  bool Paused() const { return Paused_; }
  // The index of the frame shown last, -1 before the first.
  int Frame() const { return Frame_; }
  // Runs on the GUI thread with each frame to show; it may take the frame's pixels.
  std::function<void(TGifFrame& frame)> OnFrame;
  // Runs when a frame cannot be read: the animation stops on the frame shown.
  std::function<void(const std::string& reason)> OnFailure;

 private:
  void ComposeNext();
  void Arrived(const TGifFramePtr& frame, const std::string& reason);
  void Show();

  TVeloraLoader& Loader_;
  TLoadChannelPtr Channel_;
  std::shared_ptr<TGifComposer> Composer_;
  int Priority_ = 0;
  TGifFramePtr Ready_;  // composed, waiting for its turn
  bool Due_ = false;    // the shown frame's delay is over
  bool Paused_ = false;
  int Frame_ = -1;
  QTimer Timer_;
};

}  // namespace velora
