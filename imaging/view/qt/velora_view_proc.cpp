// The single-image view's side of the processing component: the component it owns, the
// selection it reports and the launcher slot it hands on.
#include "preview_launcher.h"
#include "velora_view.h"

namespace velora {

namespace {
TPreviewLauncher& InstalledLauncher() {
  static TPreviewLauncher launcher;
  return launcher;
}
}  // namespace

void InstallPreviewLauncher(TPreviewLauncher launcher) { InstalledLauncher() = std::move(launcher); }

bool RunPreviewLauncher(TPreviewRequest& request) {
  const TPreviewLauncher& launcher = InstalledLauncher();
  return launcher ? launcher(request) : false;
}

TVeloraProc& TVeloraView::GetProc() {
  if (!Proc_) {
    Proc_ = std::make_unique<TVeloraProc>();
    Proc_->SetAttachedVelora(this);
    // Looked up at each launch, so a dialog installed after the view was made is still found.
    Proc_->PreviewLauncher = [](TPreviewRequest& request) { return RunPreviewLauncher(request); };
  }
  return *Proc_;
}

bool TVeloraView::GetSelection(TSelection& selection) {
  selection.Mask = &SelMask_;
  selection.Points = Sel_.Points.data();
  selection.PointCount = int(Sel_.Points.size());
  selection.Active = HasSelection_;
  return true;
}

}  // namespace velora
