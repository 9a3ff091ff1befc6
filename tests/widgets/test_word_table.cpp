// The word table: lookups with their fallbacks, the user row, the locale's row, and the
// built-in rows complete.
#include <gtest/gtest.h>

#include "dialogs/word_rows.h"
#include "dialogs/word_table.h"

using namespace velora;

namespace {

struct TLookupCase {
  int id;
  TMsgLanguage language;
  const char* word;
};

// The user row starts empty and must be left so for the other tests.
struct TUserWordScope {
  ~TUserWordScope() {
    for (int id = 0; id < kWordCount; ++id) SetWord(msUser, id, "");
  }
};

struct TSystemLanguageScope {
  int saved = SystemPrimaryLanguage();
  ~TSystemLanguageScope() { SetSystemPrimaryLanguage(saved); }
};

}  // namespace

TEST(WordTable, LookupGivesTheWordOfTheLanguageOrEnglish) {
  const TLookupCase cases[] = {
      {0, msItalian, "Anteprima"},     {0, msGerman, "Vorschau"},     {0, msSpanish, "Vista Previa"},
      {0, msSwedish, "Granska"},       {7, msItalian, "Contrasto"},   {7, msGerman, "Kontrast"},
      {7, msSpanish, "Contraste"},     {2, msItalian, "Elaborata"},   {4, msItalian, "Annulla"},
      {0, msUser, "Preview"},          {87, msRussian, "Animate"},    {86, msRussian, "Сбросить"},
      {90, msGreek, "Bump map"},       {91, msDutch, "Print"},        {90, msDutch, "Bump map"},
      {119, msEnglish, "Close"},       {-1, msEnglish, ""},           {120, msItalian, ""},
      {0, TMsgLanguage(12), ""},
  };
  for (const TLookupCase& c : cases)
    EXPECT_EQ(LookupWord(c.id, c.language), c.word) << "id " << c.id << ", language " << c.language;
}

TEST(WordTable, EveryBuiltInRowIsCompleteAndTheUntranslatedRangesStayEnglish) {
  for (int lang = msEnglish; lang <= msSwedish; ++lang)
    for (int id = 0; id < kWordCount; ++id)
      EXPECT_FALSE(LookupWord(id, TMsgLanguage(lang)).empty()) << "id " << id << ", language " << lang;
  for (int lang = msEnglish; lang <= msSwedish; ++lang) EXPECT_EQ(LookupWord(90, TMsgLanguage(lang)), "Bump map");
  for (int id = 0; id < kWordCount; ++id) {
    const std::string english = LookupWord(id, msEnglish);
    if (id >= 87) {
      EXPECT_EQ(LookupWord(id, msRussian), english) << id;
    }
    if (id >= 91) {
      EXPECT_EQ(LookupWord(id, msDutch), english) << id;
    }
  }
  // Below those ranges the rows are translations: most words differ from the English ones.
  for (int lang = msItalian; lang <= msSwedish; ++lang) {
    int same = 0;
    for (int id = 0; id < 87; ++id) same += LookupWord(id, TMsgLanguage(lang)) == LookupWord(id, msEnglish);
    EXPECT_LT(same, 30) << "language " << lang;
  }
}

TEST(WordTable, SetWordFillsTheUserRowAndRefusesWhatHasNoEntry) {
  TUserWordScope restore;
  SetWord(msUser, 0, "Vista");
  EXPECT_EQ(LookupWord(0, msUser), "Vista");
  EXPECT_EQ(LookupWord(1, msUser), "Original");
  // msSystem has no row of its own, and ids past the table have no entry.
  SetWord(msSystem, 0, "x");
  SetWord(msEnglish, 120, "x");
  SetWord(msEnglish, -1, "x");
  EXPECT_EQ(LookupWord(0, msEnglish), "Preview");
  EXPECT_EQ(LookupWord(0, msUser), "Vista");
}

TEST(WordTable, SystemTakesTheLocaleRowWithoutTheEnglishFallback) {
  TSystemLanguageScope restore;
  const std::pair<int, const char*> cases[] = {{10, "Contraste"}, {29, "Contrast"}, {7, "Kontrast"},
                                               {25, "Контраст"}, {9, "Contrast"},  {0, "Contrast"}};
  for (const auto& [primary, word] : cases) {
    SetSystemPrimaryLanguage(primary);
    EXPECT_EQ(LookupWord(7, msSystem), word) << primary;
  }
  // A built-in row emptied by SetWord: msSystem shows it empty, the language itself falls back.
  SetSystemPrimaryLanguage(16);
  SetWord(msItalian, 5, "");
  EXPECT_EQ(LookupWord(5, msSystem), "");
  EXPECT_EQ(LookupWord(5, msItalian), "Lock preview");
  SetWord(msItalian, 5, kWordRows[5][msItalian - msEnglish]);
}
