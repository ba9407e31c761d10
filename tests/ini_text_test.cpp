// The INI reader of the native build, against the private-profile rules.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "platform/posix/ini_text.h"

namespace {

std::string Text(std::string_view ini, const char* section, const char* key,
                 const char* defaultText = "", uint32_t capacity = 4096) {
  std::vector<char> out(capacity + 1, '#');
  const uint32_t length =
      platform::IniTextValue(ini, section, key, defaultText, out.data(), capacity);
  EXPECT_EQ(out[length], 0);
  return std::string(out.data(), length);
}

TEST(IniText, FindsValuesAsThePrivateProfileReaderDoes) {
  const std::string ini =
      "\xEF\xBB\xBF"
      "Stray=before any section\r\n"
      "[Product]\r\n"
      "  productname =  Editor Pro \t\r\n"
      "//Web=http://off\r\n"
      "Web=http://on\r\n"
      "web=second\r\n"
      "Quoted=\"  spaced  \"\n"
      "Single='x'\n"
      "Lone=\"\n"
      "Equals=a=b\n"
      "NoValue\n"
      "Empty=\n"
      "[other]\rKey=other\r"
      "[PRODUCT]\nLate=found only in a later section of the same name\n"
      "[ Spaced ]\nKey=spaced\n"
      "[Cut]\nKey=before\0[Hidden]\nKey=after NUL\n";
  const std::string_view whole(ini.data(), ini.size());
  struct Case {
    const char* section;
    const char* key;
    const char* expected;
  } cases[] = {
      {"PRODUCT", "ProductName", "Editor Pro"},  // both names ignore case; value trimmed
      {"product", "WEB", "http://on"},           // "//Web" is another key; first occurrence wins
      {"Product", "Quoted", "  spaced  "},       // one pair of quotes dropped
      {"Product", "Single", "x"},
      {"Product", "Lone", "\""},
      {"Product", "Equals", "a=b"},
      {"Product", "NoValue", ""},
      {"Product", "Empty", ""},
      {"Product", "Missing", "default"},
      {"Product", "Late", "default"},            // only the first section of a name is read
      {"Product", "Stray", "default"},
      {"other", "key", "other"},                 // CR alone ends a line
      {" Spaced ", "Key", "spaced"},             // a section name is taken as written
      {"Spaced", "Key", "default"},
      {"Cut", "Key", "before"},
      {"Hidden", "Key", "default"},              // the text ends at its first NUL
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::string(c.section) + "/" + c.key);
    EXPECT_EQ(Text(whole, c.section, c.key, "default"), c.expected);
  }
}

TEST(IniText, CutsValuesToTheAreaAndTrimsTheDefault) {
  const std::string ini = "[S]\nK=" + std::string(5000, 'v') + "\n";
  EXPECT_EQ(Text(ini, "S", "K"), std::string(4095, 'v'));
  EXPECT_EQ(Text(ini, "S", "K", "", 4), "vvv");
  EXPECT_EQ(Text(ini, "S", "K", "", 1), "");
  EXPECT_EQ(Text(ini, "S", "None", "dflt   "), "dflt");
  char untouched = '#';
  EXPECT_EQ(platform::IniTextValue(ini, "S", "K", "", &untouched, 0), 0u);
  EXPECT_EQ(untouched, '#');
}

TEST(IniText, ReadsIntegersAsThePlatformDoes) {
  struct Case {
    const char* value;
    int32_t expected;
  } cases[] = {
      {"1", 1},          {"0", 0},          {"  42", 42},       {"+7", 7},
      {"-3", -3},        {"12abc", 12},     {"abc", 0},         {"0x1F", 31},
      {"0X1F", 0},       {"0o17", 15},      {"0b101", 5},       {"010", 10},
      {"4294967297", 1}, {"\"5\"", 5},      {"1 2", 1},         {"- 1", 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value);
    const std::string ini = std::string("[S]\nK=") + c.value + "\n";
    EXPECT_EQ(static_cast<int32_t>(platform::IniIntValue(ini, "S", "K", 99)), c.expected);
  }
  // Missing and empty values give the default.
  EXPECT_EQ(static_cast<int32_t>(platform::IniIntValue("[S]\nK=\n", "S", "K", -5)), -5);
  EXPECT_EQ(static_cast<int32_t>(platform::IniIntValue("[S]\n", "S", "K", 1)), 1);
  EXPECT_EQ(static_cast<int32_t>(platform::IniIntValue("[S]\n//K=0\n", "S", "K", 1)), 1);
}

TEST(IniText, ListsSectionNamesInFileOrderAndCutsTheLastToFit) {
  const std::string ini = "k=v\n[INSTALL]\n[SRC_FIXPATH]\nPath=x\n[]\n[LOG]\n";
  char out[64];
  uint32_t length = platform::IniSectionNames(ini, out, sizeof out);
  EXPECT_EQ(std::string(out, length + 1), std::string("INSTALL\0SRC_FIXPATH\0LOG\0\0", 25));

  // Room for "INSTALL\0" and three more characters: "SRC" and the two NULs.
  char small[13];
  std::memset(small, '#', sizeof small);
  length = platform::IniSectionNames(ini, small, sizeof small);
  EXPECT_EQ(length, 11u);
  EXPECT_EQ(std::string(small, 13), std::string("INSTALL\0SRC\0\0", 13));

  EXPECT_EQ(platform::IniSectionNames("no sections", out, sizeof out), 0u);
  EXPECT_EQ(out[0], 0);
}

}  // namespace
