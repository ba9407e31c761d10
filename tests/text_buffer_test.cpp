// Tests for TextBuffer and the text and path helpers.
#include "base/text_buffer.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <string>

#include "platform/system_error.h"

namespace {

std::string Text(const TextBuffer& buffer) { return std::string(buffer.chars(), buffer.length()); }

// The current folder as the native full-path service writes it.
std::string CurrentFolder() { return std::filesystem::current_path().string(); }

// Sets an environment variable for one test and removes it afterwards.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, const std::string& value) : name_(name) {
    setenv(name, value.c_str(), 1);
  }
  ~ScopedVariable() { unsetenv(name_); }

 private:
  const char* name_;
};

TEST(TextBufferTest, EmptyBufferSharesTheEmptyTextAndReleasesHarmlessly) {
  TextBuffer buffer;
  EXPECT_EQ(buffer.chars(), SharedEmptyText);
  EXPECT_EQ(buffer.MutableChars(), nullptr);
  buffer.Release();
  buffer.Release();
  EXPECT_EQ(buffer.chars(), SharedEmptyText);
  EXPECT_EQ(buffer.length(), 0);
  EXPECT_EQ(SharedEmptyText[0], 0);
}

TEST(TextBufferTest, ReleaseOfOwnedTextLeavesAValidEmptyBuffer) {
  TextBuffer buffer("abc");
  buffer.Release();
  EXPECT_EQ(buffer.chars(), SharedEmptyText);
  buffer.Release();
  EXPECT_TRUE(buffer.empty());
}

TEST(TextBufferTest, ZeroLengthRangeAllocatesItsOwnEmptyBlock) {
  TextBuffer buffer("xyz", 0);
  EXPECT_NE(buffer.chars(), SharedEmptyText);
  EXPECT_TRUE(buffer.empty());
  EXPECT_EQ(buffer.chars()[0], 0);

  TextBuffer assigned("abc");
  assigned.AssignRange("abc", 0);
  EXPECT_NE(assigned.chars(), SharedEmptyText);
  EXPECT_TRUE(assigned.empty());
}

TEST(TextBufferTest, NullTextCountsAsEmpty) {
  TextBuffer buffer(static_cast<const char*>(nullptr));
  EXPECT_TRUE(buffer.empty());
  buffer.AssignText("x");
  buffer.AssignText(nullptr);
  EXPECT_TRUE(buffer.empty());
}

TEST(TextBufferTest, RangeCopiesExactlyCountBytes) {
  TextBuffer buffer("abcdef", 3);
  EXPECT_EQ(Text(buffer), "abc");
  EXPECT_EQ(buffer.chars()[3], 0);
}

TEST(TextBufferTest, AssignRangeFromInsideTheSameBuffer) {
  TextBuffer buffer("hello world");
  buffer.AssignRange(buffer.chars() + 6, 5);
  EXPECT_EQ(Text(buffer), "world");
  buffer.AssignRange(buffer.chars(), buffer.length());
  EXPECT_EQ(Text(buffer), "world");
}

TEST(TextBufferTest, AssignToItselfChangesNothing) {
  TextBuffer buffer("same");
  const char* before = buffer.chars();
  buffer.Assign(buffer);
  EXPECT_EQ(buffer.chars(), before);
  EXPECT_EQ(Text(buffer), "same");
  TextBuffer& alias = buffer;
  buffer = alias;
  EXPECT_EQ(Text(buffer), "same");
}

TEST(TextBufferTest, AssignAndCopyLeaveIndependentTexts) {
  TextBuffer source("abc");
  TextBuffer copy(source);
  TextBuffer target("longer text");
  target.Assign(source);
  source.AssignText("changed");
  EXPECT_EQ(Text(copy), "abc");
  EXPECT_EQ(Text(target), "abc");
}

TEST(TextBufferTest, MoveLeavesTheSourceEmpty) {
  TextBuffer source("moved");
  TextBuffer target(std::move(source));
  EXPECT_EQ(Text(target), "moved");
  EXPECT_EQ(source.chars(), SharedEmptyText);
  TextBuffer other("x");
  other = std::move(target);
  EXPECT_EQ(Text(other), "moved");
  EXPECT_EQ(target.chars(), SharedEmptyText);
}

TEST(TextBufferTest, AppendToItselfDoubles) {
  TextBuffer buffer("ab");
  buffer.Append(buffer);
  EXPECT_EQ(Text(buffer), "abab");
  buffer.Append(TextBuffer());
  EXPECT_EQ(Text(buffer), "abab");
  TextBuffer empty;
  empty.Append(TextBuffer("cd"));
  EXPECT_EQ(Text(empty), "cd");
}

TEST(TextBufferTest, ConcatLeavesOperandsUnchanged) {
  TextBuffer folder("C:\\App");
  TextBuffer result = TextBuffer::Concat(folder, ".Backup");
  EXPECT_EQ(Text(result), "C:\\App.Backup");
  EXPECT_EQ(Text(folder), "C:\\App");
  EXPECT_EQ(Text(TextBuffer::Concat(TextBuffer(), nullptr)), "");
}

TEST(TextBufferTest, FormatConversions) {
  TextBuffer buffer;
  buffer.Format("%s|%i|%u|%02u|%04u|%d|%x|%c", "name", -5, 7u, 3u, 42u, 12, 255, 'Z');
  EXPECT_EQ(Text(buffer), "name|-5|7|03|0042|12|ff|Z");
}

TEST(TextBufferTest, FormatMayReadItsOwnText) {
  TextBuffer buffer("inner");
  buffer.Format("<%s>", buffer.chars());
  EXPECT_EQ(Text(buffer), "<inner>");
}

TEST(TextBufferTest, FormatIsCutAt1023Characters) {
  const std::string longText(3000, 'q');
  TextBuffer buffer;
  buffer.Format("ab%s", longText.c_str());
  ASSERT_EQ(buffer.length(), 1023);
  EXPECT_EQ(Text(buffer), "ab" + std::string(1021, 'q'));

  const std::string exact(1023, 'r');
  buffer.Format("%s", exact.c_str());
  EXPECT_EQ(Text(buffer), exact);
}

TEST(TextBufferTest, SystemErrorTextIsEmptyForNoError) {
  platform::SetLastErrorCode(0);
  TextBuffer text = TextBuffer::SystemErrorText();
  EXPECT_TRUE(text.empty());
  EXPECT_EQ(text.chars(), SharedEmptyText);
}

TEST(TextBufferTest, SystemErrorTextForAKnownError) {
  // 2 is "file not found" on both kinds of system.
  platform::SetLastErrorCode(2);
  TextBuffer text = TextBuffer::SystemErrorText();
  ASSERT_GT(text.length(), 2);
  EXPECT_EQ(text.chars()[text.length() - 1], '\n');
  EXPECT_EQ(static_cast<int32_t>(std::string(text.chars()).size()), text.length());
}

TEST(TextBufferTest, SystemErrorTextIsEmptyWhenTheSystemHasNoText) {
  platform::SetLastErrorCode(0x7654321);
  EXPECT_TRUE(TextBuffer::SystemErrorText().empty());
}

TEST(TextBufferTest, CompareWithAndWithoutCase) {
  struct Case {
    const char* a;
    const char* b;
    bool ignoreCase;
    int expected;
  };
  const Case cases[] = {
      {"Program Files", "PROGRAM FILES", true, 0},
      {"abc", "abc", false, 0},
      {"ab", "abc", false, -1},
      {"abc", "ab", true, 1},
      {"a", "b", false, -1},
      {"B", "a", true, 1},
      {"", "", false, 0},
      {"", "x", true, -1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(Compare(TextBuffer(c.a), TextBuffer(c.b), c.ignoreCase), c.expected)
        << '"' << c.a << "\" vs \"" << c.b << "\" ignoreCase=" << c.ignoreCase;
  }
  EXPECT_NE(Compare(TextBuffer("Setup"), TextBuffer("SETUP"), false), 0);
  EXPECT_EQ(CompareNoCase("HKEY_LOCAL_MACHINE", "hkey_local_machine"), 0);
  EXPECT_EQ(CompareNoCase("alpha", "beta"), -1);
  EXPECT_EQ(CompareNoCase("beta", "Alpha"), 1);
}

TEST(TextBufferTest, CompareUsesExactLengthsNotTerminators) {
  // Texts holding a NUL compare by their whole length.
  TextBuffer a("ab\0c", 4);
  TextBuffer b("ab\0d", 4);
  EXPECT_EQ(Compare(a, b, false), -1);
  EXPECT_EQ(Compare(a, TextBuffer("ab"), false), 1);
}

TEST(TextBufferTest, ToUpperChangesLettersInPlace) {
  TextBuffer buffer("c:\\Program files\\app1.exe");
  const char* before = buffer.chars();
  buffer.ToUpper();
  EXPECT_EQ(Text(buffer), "C:\\PROGRAM FILES\\APP1.EXE");
  EXPECT_EQ(buffer.chars(), before);
  TextBuffer empty;
  empty.ToUpper();
  EXPECT_EQ(empty.chars(), SharedEmptyText);
}

TEST(TextBufferTest, BlankScanning) {
  EXPECT_TRUE(IsBlank(' ') && IsBlank('\r') && IsBlank('\n') && IsBlank('\t') && IsBlank('\f'));
  EXPECT_FALSE(IsBlank('\v'));
  EXPECT_FALSE(IsBlank('\0'));

  const char* text = " \t\r\nvalue";
  EXPECT_EQ(SkipBlanks(text), text + 4);
  const char* blanks = "  \t";
  EXPECT_EQ(SkipBlanks(blanks), blanks + 3);
  EXPECT_EQ(SkipBlanks(nullptr), nullptr);

  EXPECT_EQ(LastNonBlank("ab  \t", 4), 1);
  EXPECT_EQ(LastNonBlank("   ", 2), -1);
  EXPECT_EQ(LastNonBlank("ab", -1), -1);
  EXPECT_EQ(LastNonBlank(nullptr, 3), -1);

  const char* lines = "first\r\nsecond";
  EXPECT_EQ(LineEnd(lines), lines + 5);
  const char* lf = "one\ntwo";
  EXPECT_EQ(LineEnd(lf), lf + 3);
  const char* single = "only";
  EXPECT_EQ(LineEnd(single), single + 4);
  EXPECT_EQ(LineEnd(nullptr), nullptr);
}

TEST(TextBufferTest, Trimming) {
  struct Case {
    const char* input;
    const char* left;
    const char* right;
    const char* both;
  };
  const Case cases[] = {
      {"  a b  ", "a b  ", "  a b", "a b"},
      {"\t\r\nname\f", "name\f", "\t\r\nname", "name"},
      {"plain", "plain", "plain", "plain"},
      {"   ", "", "   ", ""},
      {"", "", "", ""},
      {"\vx\v", "\vx\v", "\vx\v", "\vx\v"},
  };
  for (const Case& c : cases) {
    TextBuffer left(c.input);
    left.TrimLeft();
    EXPECT_EQ(Text(left), c.left) << '"' << c.input << '"';
    TextBuffer right(c.input);
    right.TrimRight();
    EXPECT_EQ(Text(right), c.right) << '"' << c.input << '"';
    TextBuffer both(c.input);
    both.Trim();
    EXPECT_EQ(Text(both), c.both) << '"' << c.input << '"';
  }
}

TEST(TextBufferTest, TrimLeftOfBlanksOnlyReleasesToTheSharedEmptyText) {
  TextBuffer buffer(" \t ");
  buffer.TrimLeft();
  EXPECT_EQ(buffer.chars(), SharedEmptyText);
}

TEST(TextBufferTest, TrimWithoutChangeKeepsTheBlock) {
  TextBuffer buffer("tight");
  const char* before = buffer.chars();
  buffer.Trim();
  EXPECT_EQ(buffer.chars(), before);
}

TEST(TextBufferTest, EnsureTrailingSeparator) {
  const std::pair<const char*, const char*> cases[] = {
      {"", ""}, {"C:", "C:\\"}, {"C:\\A", "C:\\A\\"}, {"C:\\A\\", "C:\\A\\"}, {"dir/", "dir/"},
  };
  for (const auto& [input, expected] : cases) {
    TextBuffer buffer(input);
    buffer.EnsureTrailingSeparator();
    EXPECT_EQ(Text(buffer), expected) << '"' << input << '"';
  }
  TextBuffer empty;
  empty.EnsureTrailingSeparator();
  EXPECT_EQ(empty.chars(), SharedEmptyText);
}

TEST(TextBufferTest, StripTrailingSeparatorsInPlace) {
  const std::pair<const char*, const char*> cases[] = {
      {"C:\\\\", "C:"}, {"\\\\", ""}, {"C:\\A/\\", "C:\\A"}, {"C:\\A", "C:\\A"}, {"", ""},
  };
  for (const auto& [input, expected] : cases) {
    TextBuffer buffer(input);
    const char* before = buffer.chars();
    buffer.StripTrailingSeparators();
    EXPECT_EQ(Text(buffer), expected) << '"' << input << '"';
    EXPECT_EQ(buffer.chars(), before) << '"' << input << '"';
    EXPECT_EQ(buffer.chars()[buffer.length()], 0);
  }
  TextBuffer empty;
  empty.StripTrailingSeparators();
  EXPECT_EQ(empty.chars(), SharedEmptyText);
}

TEST(TextBufferTest, ToBackslashesAndLastSeparator) {
  char text[] = "a/b\\c/d";
  ToBackslashes(text, 4);
  EXPECT_STREQ(text, "a\\b\\c/d");
  ToBackslashes(nullptr, 0);

  EXPECT_EQ(LastSeparator("C:\\A/b", 6), 4);
  EXPECT_EQ(LastSeparator("C:\\A/b", 4), 2);
  EXPECT_EQ(LastSeparator("name", 4), -1);
  EXPECT_EQ(LastSeparator("\\", 0), -1);
}

TEST(TextBufferTest, FileNameAndFolderParts) {
  struct Case {
    const char* path;
    const char* name;
    const char* folder;
  };
  const Case cases[] = {
      {"C:\\A\\b.exe", "b.exe", "C:\\A\\"},
      {"b.exe", "b.exe", ""},
      {"C:\\A\\", "", "C:\\A\\"},
      {"dir/sub/file.txt", "file.txt", "dir/sub/"},
      {"", "", ""},
  };
  for (const Case& c : cases) {
    const TextBuffer path(c.path);
    EXPECT_EQ(Text(FileNamePart(path)), c.name) << '"' << c.path << '"';
    TextBuffer folder("previous");
    FolderPart(path, folder);
    EXPECT_EQ(Text(folder), c.folder) << '"' << c.path << '"';
  }
}

TEST(TextBufferTest, FolderPartIntoItsOwnPath) {
  TextBuffer path("C:\\A\\b.exe");
  FolderPart(path, path);
  EXPECT_EQ(Text(path), "C:\\A\\");
}

TEST(TextBufferTest, RootPart) {
  const std::pair<const char*, const char*> cases[] = {
      {"C:file", "C:"},
      {"C:\\A\\B", "C:"},
      {"?:x", "?:"},
      {"\\\\srv\\share\\dir", "\\\\srv\\share"},
      {"\\\\srv\\share", "\\\\srv\\share"},
      {"\\\\srv", "\\\\srv"},
      {"\\\\srv/share/dir", "\\\\srv/share/dir"},
      {"\\dir", ""},
      {"/dir", ""},
      {"//srv/share", ""},
      {"relative\\x", ""},
      {"C", ""},
      {"", ""},
  };
  for (const auto& [input, expected] : cases) {
    TextBuffer root("previous");
    RootPart(TextBuffer(input), root);
    EXPECT_EQ(Text(root), expected) << '"' << input << '"';
  }
  TextBuffer self("\\\\srv\\share\\dir");
  RootPart(self, self);
  EXPECT_EQ(Text(self), "\\\\srv\\share");
}

TEST(TextBufferTest, ResolveAgainst) {
  struct Case {
    const char* base;
    const char* path;
    const char* expected;
  };
  const Case cases[] = {
      {"C:\\A", "B", "C:\\A\\B"},
      {"C:\\A", "\\B", "C:\\A\\B"},
      {"C:\\A", "/B", "C:\\A/B"},
      {"C:\\A\\", "B", "C:\\A\\B"},
      {"C:\\A", "D:\\B", "D:\\B"},
      {"C:\\A", "D:B", "D:B"},
      {"C:\\A", "\\\\srv\\share", "\\\\srv\\share"},
      {"C:\\A", "", ""},
      {"", "B", "B"},
      {"", "\\B", "\\B"},
  };
  for (const Case& c : cases) {
    TextBuffer path(c.path);
    ResolveAgainst(TextBuffer(c.base), path);
    EXPECT_EQ(Text(path), c.expected) << '"' << c.base << "\" + \"" << c.path << '"';
  }
  TextBuffer same("dir");
  ResolveAgainst(same, same);
  EXPECT_EQ(Text(same), "dir\\dir");
}

TEST(TextBufferTest, ExpandEnvironment) {
  ScopedVariable app("SELFPATCH_TEST_APP", "/opt/app");
  ScopedVariable empty("SELFPATCH_TEST_EMPTY", "");
  unsetenv("SELFPATCH_TEST_UNDEFINED");
  const std::pair<const char*, const char*> cases[] = {
      {"%SELFPATCH_TEST_APP%\\bin", "/opt/app\\bin"},
      {"x%SELFPATCH_TEST_APP%%SELFPATCH_TEST_APP%y", "x/opt/app/opt/appy"},
      {"%SELFPATCH_TEST_UNDEFINED%\\bin", "%SELFPATCH_TEST_UNDEFINED%\\bin"},
      // The closing '%' of an undefined name does not open the next one.
      {"%SELFPATCH_TEST_UNDEFINED%SELFPATCH_TEST_APP%",
       "%SELFPATCH_TEST_UNDEFINED%SELFPATCH_TEST_APP%"},
      {"a%SELFPATCH_TEST_EMPTY%b", "ab"},
      {"100%% sure", "100%% sure"},
      {"50% off", "50% off"},
      {"no references", "no references"},
      {"", ""},
  };
  for (const auto& [input, expected] : cases) {
    TextBuffer buffer(input);
    buffer.ExpandEnvironment();
    EXPECT_EQ(Text(buffer), expected) << '"' << input << '"';
  }
}

TEST(TextBufferTest, ExpandEnvironmentKeepsTheTextWhenTheResultIsTooLong) {
  ScopedVariable big("SELFPATCH_TEST_BIG", std::string(3000, 'v'));
  TextBuffer buffer("%SELFPATCH_TEST_BIG%%SELFPATCH_TEST_BIG%");
  buffer.ExpandEnvironment();
  EXPECT_EQ(Text(buffer), "%SELFPATCH_TEST_BIG%%SELFPATCH_TEST_BIG%");
  buffer.AssignText("%SELFPATCH_TEST_BIG%");
  buffer.ExpandEnvironment();
  EXPECT_EQ(buffer.length(), 3000);
}

TEST(TextBufferTest, MakeFullPathFoldsAgainstTheCurrentFolder) {
  const std::string current = CurrentFolder();
  const std::string parent = std::filesystem::current_path().parent_path().string();
  const std::pair<const char*, std::string> cases[] = {
      {"file.txt", current + "/file.txt"},
      {"sub\\..\\x\\.\\y", current + "/x/y"},
      {"..\\up", (parent == "/" ? "" : parent) + "/up"},
      {"/a/b/../c", "/a/c"},
      {"\\a\\.\\b\\", "/a/b/"},
      {"/..", "/"},
  };
  for (const auto& [input, expected] : cases) {
    TextBuffer buffer(input);
    buffer.MakeFullPath();
    EXPECT_EQ(Text(buffer), expected) << '"' << input << '"';
  }
}

TEST(TextBufferTest, MakeFullPathLeavesTheTextOnFailure) {
  TextBuffer empty;
  empty.MakeFullPath();
  EXPECT_EQ(empty.chars(), SharedEmptyText);

  const std::string tooLong = "/" + std::string(5000, 'd');
  TextBuffer buffer(tooLong.c_str());
  buffer.MakeFullPath();
  EXPECT_EQ(Text(buffer), tooLong);
}

TEST(TextBufferTest, NormaliseFolderCleansWhatTheVariableHolds) {
  // The variable carries forward slashes and a trailing separator; both must
  // be cleaned, so expansion has to come first.
  ScopedVariable folder("SELFPATCH_TEST_FOLDER", "/srv/tools/app/");
  TextBuffer buffer("%SELFPATCH_TEST_FOLDER%");
  buffer.NormaliseFolder();
  EXPECT_EQ(Text(buffer), "/srv/tools/app");

  TextBuffer withSeparator("/srv/tools/app\\");
  withSeparator.NormaliseFolder();
  EXPECT_EQ(Compare(buffer, withSeparator, true), 0);

  TextBuffer relative("lib/");
  relative.NormaliseFolder();
  EXPECT_EQ(Text(relative), CurrentFolder() + "/lib");
}

}  // namespace
