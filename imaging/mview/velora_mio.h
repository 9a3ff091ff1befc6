// TVeloraMIO: the companion of a thumbnail multi-view for multi-image work. It keeps one
// parameter record per image of the view, in the view's order, and follows the view's
// insertions and deletions through its change listeners, so that every image has its own
// file parameters (its page index among them).
#pragma once
#include <memory>
#include <vector>

#include "base/preview_settings.h"
#include "base/progress.h"
#include "base/vl_types.h"
#include "io/io_params.h"

namespace velora {

class TVeloraMView;

enum TIOPreviewsParamsItem { ioppDefaultLockPreview };
using TIOPreviewsParams = unsigned;  // bit i: item i

class TVeloraMIO : public TVLObject {
 public:
  TVeloraMIO() = default;
  ~TVeloraMIO() override;
  TVeloraMIO(const TVeloraMIO&) = delete;
  TVeloraMIO& operator=(const TVeloraMIO&) = delete;

  // ---- published
  TVeloraMView* AttachedMView() const { return AttachedMView_; }
  // Images already in the view get no records: only those inserted from now on.
  void SetAttachedMView(TVeloraMView* view);
  TVLProgressEvent OnProgress;
  TMsgLanguage MsgLanguage = msSystem;
  TIOPreviewsParams PreviewsParams = 0;
  const TVLFont& PreviewFont() const { return PreviewFont_; }
  void SetPreviewFont(const TVLFont& font) { PreviewFont_ = font; }

  // ---- the records, index = image index
  int ParamsCount() const { return int(ParamsList_.size()); }
  TIOParamsVals& Params(int index) { return *ParamsList_.at(size_t(index)); }
  // A new record at index (index = count appends), starting as a copy of its neighbour;
  // indexes out of range are ignored.
  void InsertParams(int index);
  void DeleteParams(int index);

 private:
  void MViewChanged(bool destroying);
  void LeaveView();
  // Each record's page and frame index is its position in the list.
  void Renumber();

  TVeloraMView* AttachedMView_ = nullptr;
  int ListenerId_ = 0;
  std::vector<std::unique_ptr<TIOParamsVals>> ParamsList_;
  TVLFont PreviewFont_;
};

}  // namespace velora
