// The word table: the built-in rows filled once at start-up, the user row empty until SetWord
// fills it.
#include "word_table.h"

#include <QLocale>
#include <array>

#include "word_rows.h"

namespace velora {

namespace {

constexpr int kRows = msUser - msEnglish + 1;
constexpr int kEnglishPrimaryId = 9;

using TTable = std::array<std::array<std::string, kWordCount>, kRows>;

TTable& Table() {
  static TTable table = [] {
    TTable t;
    for (int id = 0; id < kWordCount; ++id)
      for (int lang = 0; lang < kBuiltInLanguages; ++lang) t[size_t(lang)][size_t(id)] = kWordRows[id][lang];
    return t;
  }();
  return table;
}

bool ValidId(int id) { return id >= 0 && id < kWordCount; }
bool HasRow(TMsgLanguage language) { return language >= msEnglish && language <= msUser; }
const std::string& Entry(TMsgLanguage language, int id) { return Table()[size_t(language - msEnglish)][size_t(id)]; }

// The Windows primary language number of a Qt language, for the languages with a row.
int PrimaryIdOf(QLocale::Language language) {
  switch (language) {
    case QLocale::German: return 7;
    case QLocale::Greek: return 8;
    case QLocale::English: return 9;
    case QLocale::Spanish: return 10;
    case QLocale::French: return 12;
    case QLocale::Italian: return 16;
    case QLocale::Dutch: return 19;
    case QLocale::Portuguese: return 22;
    case QLocale::Russian: return 25;
    case QLocale::Swedish: return 29;
    case QLocale::C: return kEnglishPrimaryId;  // no locale set: the platform's "none"
    default: return 0;
  }
}

int& SystemPrimaryId() {
  static int id = PrimaryIdOf(QLocale::system().language());
  return id;
}

}  // namespace

void SetWord(TMsgLanguage language, int id, const std::string& text) {
  if (!HasRow(language) || !ValidId(id)) return;
  Table()[size_t(language - msEnglish)][size_t(id)] = text;
}

std::string LookupWord(int id, TMsgLanguage language) {
  if (!ValidId(id)) return "";
  if (language == msSystem) return Entry(LanguageOfPrimaryId(SystemPrimaryLanguage()), id);
  if (!HasRow(language)) return "";
  const std::string& word = Entry(language, id);
  return word.empty() ? Entry(msEnglish, id) : word;
}

TMsgLanguage LanguageOfPrimaryId(int primaryLanguageId) {
  switch (primaryLanguageId) {
    case 7: return msGerman;
    case 8: return msGreek;
    case 10: return msSpanish;
    case 12: return msFrench;
    case 16: return msItalian;
    case 19: return msDutch;
    case 22: return msPortuguese;
    case 25: return msRussian;
    default: return msEnglish;
  }
}

int SystemPrimaryLanguage() { return SystemPrimaryId(); }
void SetSystemPrimaryLanguage(int primaryLanguageId) { SystemPrimaryId() = primaryLanguageId; }

}  // namespace velora
