// The words of the library's dialogs, one row per language. A component's MsgLanguage chooses
// the row its dialog reads; msSystem follows the user's locale.
#pragma once
#include <string>

#include "base/preview_settings.h"

namespace velora {

constexpr int kWordCount = 120;

// Stores text as word `id` of `language` (msEnglish … msUser); msSystem or an id outside
// 0..kWordCount − 1 stores nothing.
void SetWord(TMsgLanguage language, int id, const std::string& text);
// Word `id` in `language`. An empty entry falls back to English; msSystem takes the row of the
// locale's language as it stands, without that fallback. "" for an id outside the table.
std::string LookupWord(int id, TMsgLanguage language);

// The row msSystem reads for a Windows primary language number (9 English, 10 Spanish, …);
// languages without a row of their own, Swedish among them, read English.
TMsgLanguage LanguageOfPrimaryId(int primaryLanguageId);
// The primary language number msSystem goes by: the locale's, read once at start-up.
int SystemPrimaryLanguage();
// Replaces that number, for a program that sets its locale after start-up.
void SetSystemPrimaryLanguage(int primaryLanguageId);

}  // namespace velora
