// Animated GIFs composed frame by frame against ImageMagick's -coalesce of the same file,
// pixel for pixel: offsets, transparency and the three disposal rules; and the delays.
#include <gtest/gtest.h>

#include <filesystem>

#include "codecs/formats.h"
#include "mview/gif_animation.h"
#include "widgets/magick_gif.h"

using namespace velora;
namespace fs = std::filesystem;

TEST(GifAnimation, FramesAreComposedAsImageMagickCoalescesThem) {
  if (!magickgif::HaveConvert()) GTEST_SKIP() << "ImageMagick's convert is not installed";
  VLInstallLzwCoders();
  const std::string dir = ::testing::TempDir() + "velora_gif_animation";
  fs::remove_all(dir);
  fs::create_directories(dir);
  const std::string gif = dir + "/anim.gif";
  ASSERT_TRUE(magickgif::MakeAnimation(gif));
  const auto expected = magickgif::Coalesced(gif, dir);
  ASSERT_EQ(expected.size(), 5u);

  TGifComposer composer(gif);
  // Twice round: the second loop starts again on a fresh canvas.
  for (int round = 0; round < 2; ++round)
    for (size_t i = 0; i < expected.size(); ++i) {
      SCOPED_TRACE("round " + std::to_string(round) + ", frame " + std::to_string(i));
      TGifFramePtr frame = composer.Next();
      ASSERT_NE(frame, nullptr) << composer.Reason();
      EXPECT_EQ(frame->Index, int(i));
      ASSERT_EQ(frame->Canvas.Width(), 40);
      ASSERT_EQ(frame->Canvas.Height(), 30);
      ASSERT_EQ(expected[i].size(), 40u * 30 * 4);
      int differences = 0;
      for (int y = 0; y < 30; ++y)
        for (int x = 0; x < 40; ++x) {
          const unsigned char* want = &expected[i][size_t(y * 40 + x) * 4];
          const uint8_t* got = frame->Canvas.ScanLine(y) + 3 * x;
          const int alpha = frame->Alpha.ScanLine(y)[x];
          // Where nothing is drawn, the colour does not matter: only that it is transparent.
          const bool same = alpha == want[3] && (alpha == 0 || (got[2] == want[0] && got[1] == want[1] && got[0] == want[2]));
          if (!same && differences++ < 5)
            ADD_FAILURE() << "at " << x << "," << y << ": ImageMagick " << int(want[0]) << "," << int(want[1]) << ","
                          << int(want[2]) << " alpha " << int(want[3]) << "; composed " << int(got[2]) << ","
                          << int(got[1]) << "," << int(got[0]) << " alpha " << alpha;
        }
      EXPECT_EQ(differences, 0);
    }
  fs::remove_all(dir);
}

TEST(GifAnimation, DelaysOfZeroAndOneCountAsATenthOfASecond) {
  struct Case {
    int hundredths, ms;
  };
  for (const Case c : {Case{0, 100}, Case{1, 100}, Case{2, 20}, Case{5, 50}, Case{150, 1500}})
    EXPECT_EQ(GifFrameDelayMs(c.hundredths), c.ms) << c.hundredths;
}

TEST(GifAnimation, AFileThatIsNotAGifGivesAReason) {
  VLInstallLzwCoders();
  TGifComposer composer(::testing::TempDir() + "velora_no_such_animation.gif");
  EXPECT_EQ(composer.Next(), nullptr);
  EXPECT_FALSE(composer.Reason().empty());
}
