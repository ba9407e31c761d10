// Splitting of the windowed program's command line.
#include "startup/command_line.h"

#include <gtest/gtest.h>

namespace {

struct SplitCase {
  const char* line;
  std::vector<std::string> arguments;  // without element 0
};

class SplitCommandLineTest : public testing::TestWithParam<SplitCase> {};

TEST_P(SplitCommandLineTest, YieldsTheArguments) {
  const SplitCase& c = GetParam();
  std::vector<std::string> result = SplitCommandLine(c.line);
  ASSERT_FALSE(result.empty());
  EXPECT_EQ(result[0], "") << "element 0 is left for the program's path";
  EXPECT_EQ(std::vector<std::string>(result.begin() + 1, result.end()), c.arguments) << c.line;
}

INSTANTIATE_TEST_SUITE_P(
    Lines, SplitCommandLineTest,
    testing::Values(
        SplitCase{"", {}},
        SplitCase{"  \t ", {}},
        SplitCase{"selfpatch.exe", {}},
        SplitCase{"selfpatch.exe   ", {}},
        SplitCase{"selfpatch.exe pkg.dat", {"pkg.dat"}},
        SplitCase{"  selfpatch.exe\tpkg.dat  second", {"pkg.dat", "second"}},
        SplitCase{R"("C:\Program Files\sp.exe" pkg.dat)", {"pkg.dat"}},
        SplitCase{R"(sp.exe "C:\My Packages\update.dat")", {R"(C:\My Packages\update.dat)"}},
        SplitCase{R"(sp.exe a"b c"d)", {"ab cd"}},
        SplitCase{R"(sp.exe say\"hi\")", {R"(say"hi")"}},
        SplitCase{R"(sp.exe "in \" quotes")", {R"(in " quotes)"}},
        SplitCase{R"(sp.exe C:\dir\ \\server\share)", {R"(C:\dir\)", R"(\\server\share)"}},
        SplitCase{R"("C:\sp.exe"pkg.dat)", {"pkg.dat"}},
        SplitCase{R"("C:\sp.exe"pkg.dat more)", {"pkg.dat", "more"}},
        SplitCase{R"("unterminated name)", {}},
        SplitCase{R"(sp.exe "open to the end)", {"open to the end"}},
        SplitCase{"sp.exe a  b", {"a", "b"}}));

}  // namespace
