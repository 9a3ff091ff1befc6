// The open-addressing string table shared by the GIF and TIFF LZW encoders: a string is keyed
// by (prefix code, next byte) and found by double hashing, the step derived from the first slot.
#pragma once
#include <cstdint>

namespace velora {

// Looks for key past an occupied slot; on success prefix becomes its code, otherwise slot is
// the empty slot (key < 0) where the key belongs.
inline bool LzwProbe(const int32_t* keys, const uint16_t* codes, int hashSize, int32_t key, int& slot, int& prefix) {
  const int step = slot == 0 ? 1 : hashSize - slot;
  do {
    slot -= step;
    if (slot < 0) slot += hashSize;
    if (keys[slot] == key) {
      prefix = codes[slot];
      return true;
    }
  } while (keys[slot] >= 0);
  return false;
}

}  // namespace velora
