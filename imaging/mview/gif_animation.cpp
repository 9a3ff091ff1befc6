#include "gif_animation.h"

#include <algorithm>
#include <exception>

#include "io/image_limits.h"
#include "io/io_params.h"
#include "io/velora_io.h"

namespace velora {

int GifFrameDelayMs(int delayHundredths) { return delayHundredths <= 1 ? 100 : delayHundredths * 10; }

// ---- composing -------------------------------------------------------------------------------

namespace {

// The frame as the reader left it (24 or 1 bit), colour of pixel x of row y.
TRGB FramePixel(const TBitmap& frame, int x, int y) {
  const uint8_t* row = frame.ScanLine(y);
  if (frame.PixelFormat() == TPixelFormat::pf1bit) {
    const bool white = (row[x >> 3] & (0x80 >> (x & 7))) != 0;
    return white ? TRGB{255, 255, 255} : TRGB{0, 0, 0};
  }
  return TRGB{row[3 * x], row[3 * x + 1], row[3 * x + 2]};
}

void FillRect(TBitmap& canvas, TVLMask& alpha, int x0, int y0, int x1, int y1, TRGB colour, uint8_t a) {
  for (int y = y0; y < y1; ++y) {
    uint8_t* p = canvas.ScanLine(y) + 3 * x0;
    uint8_t* m = alpha.ScanLine(y);
    for (int x = x0; x < x1; ++x, p += 3) {
      p[0] = colour.b, p[1] = colour.g, p[2] = colour.r;
      m[x] = a;
    }
  }
}

void CopyPlane(TBitmap& to, TVLMask& toAlpha, const TBitmap& from, const TVLMask& fromAlpha) {
  to.Assign(from);
  toAlpha.Assign(&fromAlpha);
}

}  // namespace

void TGifComposer::Restart(int width, int height, TRGB background) {
  // Nothing is drawn on a new canvas: it is transparent until the frames cover it.
  Background_ = background;
  Canvas_.Reset(width, height, TPixelFormat::pf24bit);
  Alpha_.Allocate(width, height, 8);
  FillRect(Canvas_, Alpha_, 0, 0, width, height, background, 0);
  Disposal_ = 0;
}

void TGifComposer::Dispose() {
  const int x0 = std::clamp(X_, 0, Canvas_.Width()), y0 = std::clamp(Y_, 0, Canvas_.Height());
  const int x1 = std::clamp(X_ + W_, 0, Canvas_.Width()), y1 = std::clamp(Y_ + H_, 0, Canvas_.Height());
  if (Disposal_ == 2) FillRect(Canvas_, Alpha_, x0, y0, x1, y1, Background_, 0);
  if (Disposal_ == 3 && Saved_.Width() == Canvas_.Width() && Saved_.Height() == Canvas_.Height())
    CopyPlane(Canvas_, Alpha_, Saved_, SavedAlpha_);
  Disposal_ = 0;
}

TGifFramePtr TGifComposer::Next(const std::function<bool()>& stop) {
  TVeloraIO io;
  TBitmap frame;
  TVLMask mask;
  frame.Reset(1, 1, TPixelFormat::pf24bit);
  io.AttachBitmap(&frame);
  io.SetAlphaMask(&mask);
  io.AutoAdjustDPI = false;  // the canvas is in the file's pixels
  TIOParamsVals& params = io.Params();
  params.GifImageIndex = Next_;
  if (stop)
    io.OnProgress = [&io, &stop](TVLObject*, int) {
      if (stop()) io.Aborting = true;
    };
  try {
    io.LoadFromFile(FileName_);
  } catch (const std::exception& e) {
    io.Aborting = true;
    io.AbortReason = e.what();
  }
  if (io.Aborting || params.FileType != ioGIF) {
    Reason_ = io.AbortReason.empty() ? "GIF: frame " + std::to_string(Next_) + " cannot be read" : io.AbortReason;
    return nullptr;
  }
  Count_ = params.GifImageCount;
  if (Next_ == 0) {
    // The canvas is the file's logical screen; a file that gives none gets its first frame's.
    int w = params.GifWinWidth, h = params.GifWinHeight;
    if (w <= 0 || h <= 0) w = params.GifXPos + frame.Width(), h = params.GifYPos + frame.Height();
    if (!VLImageSizeAllowed(w, h)) {
      Reason_ = "GIF: a canvas of " + std::to_string(w) + " x " + std::to_string(h) + " is too large";
      return nullptr;
    }
    Restart(w, h, params.GifBackground);
  } else {
    Dispose();
  }
  Disposal_ = params.GifDisposalMethod;
  X_ = params.GifXPos, Y_ = params.GifYPos, W_ = frame.Width(), H_ = frame.Height();
  if (Disposal_ == 3) CopyPlane(Saved_, SavedAlpha_, Canvas_, Alpha_);
  // The frame over the canvas: its transparent pixels leave what is there.
  const bool masked = mask.Width() == frame.Width() && mask.Height() == frame.Height() && mask.BitsPerPixel() == 8;
  const int x0 = std::max(X_, 0), x1 = std::min(X_ + W_, Canvas_.Width());
  const int y0 = std::max(Y_, 0), y1 = std::min(Y_ + H_, Canvas_.Height());
  for (int y = y0; y < y1; ++y) {
    uint8_t* p = Canvas_.ScanLine(y);
    uint8_t* a = Alpha_.ScanLine(y);
    const uint8_t* m = masked ? mask.ScanLine(y - Y_) : nullptr;
    for (int x = x0; x < x1; ++x) {
      if (m && m[x - X_] == 0) continue;
      const TRGB c = FramePixel(frame, x - X_, y - Y_);
      p[3 * x] = c.b, p[3 * x + 1] = c.g, p[3 * x + 2] = c.r;
      a[x] = 255;
    }
  }
  auto out = std::make_shared<TGifFrame>();
  out->Index = Next_;
  out->DelayMs = GifFrameDelayMs(params.GifDelayTime);
  CopyPlane(out->Canvas, out->Alpha, Canvas_, Alpha_);
  out->Alpha.X1 = out->Alpha.Y1 = 0;
  out->Alpha.X2 = Canvas_.Width() - 1;
  out->Alpha.Y2 = Canvas_.Height() - 1;
  bool opaque = true;
  for (int y = 0; y < Canvas_.Height() && opaque; ++y)
    opaque = std::all_of(Alpha_.ScanLine(y), Alpha_.ScanLine(y) + Canvas_.Width(), [](uint8_t v) { return v == 255; });
  out->Alpha.SetFull(opaque);
  Next_ = Count_ > 0 ? (Next_ + 1) % Count_ : 0;
  return out;
}

// ---- playing ---------------------------------------------------------------------------------

TGifPlayer::TGifPlayer(TVeloraLoader& loader, QObject* parent)
    : QObject(parent), Loader_(loader), Channel_(loader.NewChannel()) {
  Timer_.setSingleShot(true);
  Timer_.setTimerType(Qt::PreciseTimer);  // a frame never shows before its delay is over
  connect(&Timer_, &QTimer::timeout, this, [this] {
    Due_ = true;
    Show();
  });
}

TGifPlayer::~TGifPlayer() { Loader_.Renew(Channel_); }

void TGifPlayer::Start(const std::string& fileName, int priority) {
  Stop();
  Composer_ = std::make_shared<TGifComposer>(fileName);
  Priority_ = priority;
  Due_ = true;  // the first frame shows as soon as it is composed
  ComposeNext();
}

void TGifPlayer::Stop() {
  Loader_.Renew(Channel_);
  Timer_.stop();
  Composer_ = nullptr;
  Ready_ = nullptr;
  Due_ = false;
  Frame_ = -1;
}

void TGifPlayer::SetPaused(bool paused) {
  Paused_ = paused;
  if (!paused) Show();
}

void TGifPlayer::ComposeNext() {
  // One job at a time: each frame is composed on the canvas the one before left.
  Loader_.Submit(Channel_, Priority_, 0, this, [this, composer = Composer_](const TLoadTicket& t) -> TLoadDone {
    TGifFramePtr frame = composer->Next([&t] { return t.Stale(); });
    std::string reason = frame ? std::string() : composer->Reason();
    return [this, frame, reason] { Arrived(frame, reason); };
  });
}

void TGifPlayer::Arrived(const TGifFramePtr& frame, const std::string& reason) {
  if (!frame) {
    Composer_ = nullptr;
    if (OnFailure) OnFailure(reason);
    return;
  }
  Ready_ = frame;
  Show();
}

void TGifPlayer::Show() {
  if (!Ready_ || !Due_ || Paused_) return;
  TGifFramePtr frame = std::move(Ready_);
  Due_ = false;
  Frame_ = frame->Index;
  const bool more = Composer_ && Composer_->FrameCount() > 1;
  if (more) {
    Timer_.start(frame->DelayMs);
    ComposeNext();
  }
  if (OnFrame) OnFrame(*frame);
}

}  // namespace velora
