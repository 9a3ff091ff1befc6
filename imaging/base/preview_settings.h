// Settings that the components opening preview dialogs hand on to them: the language of the
// dialog's words and the font it is drawn with. The dialogs turn them into toolkit objects.
#pragma once
#include <string>

#include "vl_types.h"

namespace velora {

enum TMsgLanguage {
  msSystem,  // the language of the user's locale
  msEnglish,
  msItalian,
  msGerman,
  msSpanish,
  msFrench,
  msPortuguese,
  msGreek,
  msRussian,
  msDutch,
  msSwedish,
  msUser,
};

// A font as the toolkit describes one; the default is the toolkit's default font, which the
// dialogs map to the platform's sans-serif at the same pixel height.
struct TVLFont {
  std::string Name = "MS Sans Serif";
  int Height = -11;  // negative: character height in pixels
  TColor Color = clWindowText;
  bool Bold = false;
  bool Italic = false;
  bool Underline = false;
  bool StrikeOut = false;
  friend bool operator==(const TVLFont&, const TVLFont&) = default;
};

}  // namespace velora
