// The exact path of the quantizer: a picture with no more distinct colours than the palette
// being made keeps every one of them. Counting stops at the palette size plus one, so that a
// photograph costs only the few rows it takes to find that many colours.
#include <cstdlib>

#include "quant_engines.h"

namespace velora {

namespace {

uint32_t KeyOf(TRGB c) { return uint32_t(c.b) | uint32_t(c.g) << 8 | uint32_t(c.r) << 16; }

}  // namespace

TColourSet::TColourSet(int capacity) : Capacity(capacity) {
  // A quarter full at most, so that probes stay short.
  size_t slots = 16;
  while (slots < size_t(capacity) * 4) slots <<= 1;
  Keys.assign(slots, kEmpty);
  Indices.assign(slots, 0);
  Mask = uint32_t(slots - 1);
}

size_t TColourSet::SlotOf(uint32_t key) const {
  size_t slot = (key * 2654435761u) >> 8 & Mask;
  while (Keys[slot] != kEmpty && Keys[slot] != key) slot = (slot + 1) & Mask;
  return slot;
}

int TColourSet::Find(TRGB colour) const {
  const size_t slot = SlotOf(KeyOf(colour));
  return Keys[slot] == kEmpty ? -1 : Indices[slot];
}

bool TColourSet::Add(TRGB colour) {
  const uint32_t key = KeyOf(colour);
  const size_t slot = SlotOf(key);
  if (Keys[slot] == key) return true;
  if (int(Colours.size()) >= Capacity) return false;
  Keys[slot] = key;
  Indices[slot] = uint16_t(Colours.size());
  Colours.push_back(colour);
  return true;
}

bool TColourSet::AddAll(const TVLQuantizerSource& source) {
  if (source.Width <= 0) return true;
  for (int y = 0; y < source.Height; ++y) {
    const TRGB* row = source.Row(y);
    // Neighbouring pixels mostly share a colour: only a change is looked up.
    TRGB last = row[0];
    if (!Add(last)) return false;
    for (int x = 1; x < source.Width; ++x) {
      if (row[x] == last) continue;
      last = row[x];
      if (!Add(last)) return false;
    }
  }
  return true;
}

int DistinctColours(const TVLQuantizerSource& source, int limit) {
  TColourSet set(limit);
  return set.AddAll(source) ? set.Count() : limit + 1;
}

std::unique_ptr<TExactEngine> TExactEngine::TryBuild(const TVLQuantizerSource& source, int maxColors,
                                                     TRGB* palette) {
  std::unique_ptr<TExactEngine> engine(new TExactEngine(maxColors));
  if (!engine->Set.AddAll(source)) return nullptr;
  // An empty picture still answers index 0.
  if (engine->Set.Count() == 0) engine->Set.Add(TRGB{});
  for (int i = 0; i < engine->Set.Count(); ++i) palette[i] = engine->Set.Colour(i);
  return engine;
}

// A colour the picture does not hold (a background or transparent colour asked by a writer)
// gets the nearest entry by |dR| + |dG| + |dB|, the first one on ties.
int32_t TExactEngine::RGBIndex(TRGB colour) const {
  const int found = Set.Find(colour);
  if (found >= 0) return found;
  int best = 0, bestDistance = 1000;
  for (int i = 0; i < Set.Count(); ++i) {
    const TRGB p = Set.Colour(i);
    const int d = std::abs(p.r - colour.r) + std::abs(p.g - colour.g) + std::abs(p.b - colour.b);
    if (d < bestDistance) bestDistance = d, best = i;
  }
  return best;
}

}  // namespace velora
