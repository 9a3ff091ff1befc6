// The multi-image I/O component following a thumbnail multi-view: one record per image, in
// the view's order, renumbered on every change, and no dangling view once the view is gone.
#include <gtest/gtest.h>

#include <memory>
#include <string>

#include "mview/velora_mio.h"
#include "mview/velora_mview.h"

using namespace velora;

namespace {

void ExpectIndexes(TVeloraMIO& mio, int count) {
  ASSERT_EQ(mio.ParamsCount(), count);
  for (int k = 0; k < count; ++k) {
    EXPECT_EQ(mio.Params(k).TiffImageIndex, k);
    EXPECT_EQ(mio.Params(k).GifImageIndex, k);
  }
}

TEST(VeloraMIO, AppendedImagesGetRecordsCopiedFromTheirNeighbour) {
  TVeloraMView view;
  TVeloraMIO mio;
  mio.SetAttachedMView(&view);
  view.AppendImage();
  ASSERT_EQ(mio.ParamsCount(), 1);
  mio.Params(0).TiffDocumentName = "scan";
  mio.Params(0).JpegQuality = 90;
  view.AppendImage();
  view.AppendImage();
  ExpectIndexes(mio, 3);
  for (int k = 1; k < 3; ++k) {
    EXPECT_EQ(mio.Params(k).TiffDocumentName, "scan");
    EXPECT_EQ(mio.Params(k).JpegQuality, 90);
  }
  view.InsertImage(0);  // in front: a copy of the record it pushes on
  ExpectIndexes(mio, 4);
  EXPECT_EQ(mio.Params(0).TiffDocumentName, "scan");
}

TEST(VeloraMIO, DeletingAnImageRemovesItsRecordAndRenumbers) {
  TVeloraMView view;
  TVeloraMIO mio;
  mio.SetAttachedMView(&view);
  for (int k = 0; k < 3; ++k) {
    view.AppendImage();
    mio.Params(k).TiffPageName = "page " + std::to_string(k);
  }
  ASSERT_TRUE(view.DeleteImage(0));
  ExpectIndexes(mio, 2);
  EXPECT_EQ(mio.Params(0).TiffPageName, "page 1");
  EXPECT_EQ(mio.Params(1).TiffPageName, "page 2");

  // Indexes the list does not have change nothing.
  mio.DeleteParams(2);
  mio.DeleteParams(-1);
  mio.InsertParams(3);
  mio.InsertParams(-1);
  ExpectIndexes(mio, 2);
}

TEST(VeloraMIO, FreeingTheViewLeavesTheComponentUnattached) {
  auto view = std::make_unique<TVeloraMView>();
  TVeloraMIO mio;
  mio.SetAttachedMView(view.get());
  view->AppendImage();
  const int listeners = view->ChangeListenerCount();
  view.reset();
  EXPECT_EQ(mio.AttachedMView(), nullptr);
  EXPECT_EQ(mio.ParamsCount(), 1);

  // Re-attaching moves the listener from one view to the other.
  TVeloraMView first, second;
  mio.SetAttachedMView(&first);
  mio.SetAttachedMView(&second);
  EXPECT_EQ(first.ChangeListenerCount(), listeners - 1);
  EXPECT_EQ(second.ChangeListenerCount(), listeners);
  first.AppendImage();
  EXPECT_EQ(mio.ParamsCount(), 1);
  second.AppendImage();
  EXPECT_EQ(mio.ParamsCount(), 2);
}

}  // namespace
