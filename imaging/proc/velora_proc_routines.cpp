// The component's operations that hand the target to the colour and frequency-domain routines.
#include "proc/color_adjust.h"
#include "proc/ft_image.h"
#include "velora_proc.h"

namespace velora {

void TVeloraProc::ComputeHistogram(THistogram& table) {
  if (!WorkBitmap_ || WorkBitmap_->BitCount() != 24) return;
  TVLSelectionArea area;
  GetSelectionArea(area);
  velora::ComputeHistogram(*WorkBitmap_, area.X0, area.Y0, area.X1, area.Y1, table);
}

void TVeloraProc::WriteFtSpectrum(TVLFtImage& ft) {
  if (!WorkBitmap_) return;
  ft.WriteSpectrum(*WorkBitmap_);
  RefreshTarget();
}

void TVeloraProc::WriteFtInverse(TVLFtImage& ft) {
  if (!WorkBitmap_) return;
  ft.WriteInverse(*WorkBitmap_);
  RefreshTarget();
}

}  // namespace velora
