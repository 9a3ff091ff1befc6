#include "velora_mio.h"

#include "velora_mview.h"

namespace velora {

TVeloraMIO::~TVeloraMIO() { LeaveView(); }

void TVeloraMIO::LeaveView() {
  if (AttachedMView_ && ListenerId_) AttachedMView_->RemoveChangeListener(ListenerId_);
  ListenerId_ = 0;
}

void TVeloraMIO::SetAttachedMView(TVeloraMView* view) {
  LeaveView();
  AttachedMView_ = view;
  if (view) ListenerId_ = view->AddChangeListener([this](bool destroying) { MViewChanged(destroying); });
}

void TVeloraMIO::MViewChanged(bool destroying) {
  if (destroying) {
    // The view has already dropped its listeners.
    ListenerId_ = 0;
    AttachedMView_ = nullptr;
    return;
  }
  int index = 0;
  switch (AttachedMView_->TakePendingAction(index)) {
    case vlpaInserted: InsertParams(index); break;
    case vlpaDeleted: DeleteParams(index); break;
    case vlpaNone: break;
  }
}

void TVeloraMIO::InsertParams(int index) {
  const int count = ParamsCount();
  if (index < 0 || index > count) return;
  auto params = std::make_unique<TIOParamsVals>();
  if (count > 0) params->AssignParams(*ParamsList_[size_t(index == count ? count - 1 : index)]);
  ParamsList_.insert(ParamsList_.begin() + index, std::move(params));
  Renumber();
}

void TVeloraMIO::DeleteParams(int index) {
  if (index < 0 || index >= ParamsCount()) return;
  ParamsList_.erase(ParamsList_.begin() + index);
  Renumber();
}

void TVeloraMIO::Renumber() {
  for (size_t k = 0; k < ParamsList_.size(); ++k) {
    ParamsList_[k]->TiffImageIndex = int32_t(k);
    ParamsList_[k]->GifImageIndex = int32_t(k);
  }
}

}  // namespace velora
