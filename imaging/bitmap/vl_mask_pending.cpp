// Placeholder until polygon filling, translation, masked copies and drawing land.
#include "vl_mask.h"
namespace velora {
void TVLMask::FillPolygons(int, const TPoint*, int) {}
void TVLMask::FillPolygon(int, const TPoint*, int) {}
void TVLMask::Translate(int& dx, int& dy, bool) { dx = dy = 0; }
void TVLMask::CopyMasked(TBitmap&, const TBitmap&, bool, bool) const {}
void TVLMask::DrawInverted(TBitmap&, int, int, int, int, int, int, int, int) {}
void TVLMask::DrawAnts(TBitmap&, int, int, int, TColor, TColor, int, int, int, int, int, int) {}
}  // namespace velora
