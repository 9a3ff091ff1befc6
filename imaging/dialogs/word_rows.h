// The built-in words: for each word id its text in the ten built-in languages, in the order
// of TMsgLanguage from msEnglish to msSwedish.
#pragma once
#include "word_table.h"

namespace velora {

constexpr int kBuiltInLanguages = msSwedish - msEnglish + 1;
using TWordRow = const char* [kBuiltInLanguages];
extern const TWordRow kWordRows[kWordCount];

}  // namespace velora
