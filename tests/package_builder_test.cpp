// selfpatch-make's package builder: the example folders round-trip through
// build, the reader and a whole update; item choice, lists, determinism,
// the stub, entry facts, and the trees it refuses.
#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include "engine/run_context.h"
#include "package/run_package.h"
#include "platform/file_system.h"
#include "tests/support/run_fixture.h"
#include "tools/make/command_apply_package.h"
#include "tools/make/package_builder.h"
#include "tools/make/scripted_front_end.h"
#include "tools/make/tool_files.h"

namespace {

namespace fs = std::filesystem;

const fs::path kExamples = SELFPATCH_EXAMPLES_DIR;

std::string ReadBytes(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Relative name -> content ("/" for a folder).
std::map<std::string, std::string> TreeOf(const fs::path& root) {
  std::map<std::string, std::string> tree;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    const std::string name = fs::relative(entry.path(), root).generic_string();
    tree[name] = entry.is_directory() ? "/" : ReadBytes(entry.path());
  }
  return tree;
}

struct Built {
  bool ok = false;
  BuildSummary summary;
  std::string error;
};

Built Build(BuildOptions options) {
  Built built;
  built.ok = BuildPackageFromFolders(options, built.summary, built.error);
  return built;
}

BuildOptions ExampleOptions(const fs::path& output) {
  BuildOptions options;
  options.oldFolder = (kExamples / "old").string();
  options.newFolder = (kExamples / "new").string();
  options.product = (kExamples / "product.ini").string();
  options.install = (kExamples / "install.ini").string();
  options.output = output.string();
  return options;
}

// Reads a built package as the program does.
struct ReadBack {
  explicit ReadBack(const fs::path& path) : bytes(ReadBytes(path)), context(host) {
    ok = BuildCatalogue(context, reinterpret_cast<const uint8_t*>(bytes.data()),
                        static_cast<uint32_t>(bytes.size()));
  }
  std::string bytes;
  AnswerScriptHost host;
  RunContext context;
  bool ok = false;
};

TEST(PackageBuilder, ExampleFoldersRoundTripThroughAWholeUpdate) {
  ScratchDirectory scratch("builder_example");
  const fs::path package = scratch.path() / "notepad-lite.pkg";
  // The native program takes names as they are: UTF-8 names keep the
  // Chinese file name readable on this file system.
  BuildOptions options = ExampleOptions(package);
  options.codePage = 65001;
  const Built built = Build(options);
  ASSERT_TRUE(built.ok) << built.error;
  EXPECT_EQ(built.summary.added, 3u);
  EXPECT_EQ(built.summary.updated + built.summary.replaced, 3u);
  EXPECT_GE(built.summary.updated, 1u);  // the program image changes in a few places only
  EXPECT_EQ(built.summary.unchanged, 1u);
  EXPECT_EQ(built.summary.deletedFiles, 2u);
  EXPECT_EQ(built.summary.deletedDirectories, 2u);

  ReadBack read(package);
  ASSERT_TRUE(read.ok);
  EXPECT_STREQ(read.context.settings.ProductName.chars(), "Notepad Lite");
  EXPECT_EQ(std::string(read.context.settings.DelDirsList.text.get()),
            "plugins\\spell\r\nplugins\r\n");
  EXPECT_EQ(std::string(read.context.settings.DelFilesList.text.get()),
            "docs\\changes-1.0.txt\r\nplugins\\spell\\spell.dat\r\n");

  // The package turns a copy of the old folder into the new one.
  const fs::path installed = scratch.path() / "installed";
  fs::copy(kExamples / "old", installed, fs::copy_options::recursive);
  AnswerScriptHost host;
  DirectRunWizard wizard({.sourceFolder = installed.string()}, nullptr);
  std::string error;
  EXPECT_EQ(ApplyPackageFile(package.string().c_str(), wizard, host, error), 1) << error;
  EXPECT_EQ(TreeOf(installed), TreeOf(kExamples / "new"));
}

TEST(PackageBuilder, SameInputsGiveTheSameBytesAndTheStubComesFirst) {
  ScratchDirectory scratch("builder_determinism");
  const fs::path first = scratch.path() / "first.pkg";
  const fs::path second = scratch.path() / "second.pkg";
  ASSERT_TRUE(Build(ExampleOptions(first)).ok);
  ASSERT_TRUE(Build(ExampleOptions(second)).ok);
  EXPECT_EQ(ReadBytes(first), ReadBytes(second));

  const std::string stub = "MZ" + std::string(5000, '\x90') + "stub end";
  scratch.Write("stub.exe", stub);
  BuildOptions options = ExampleOptions(scratch.path() / "patch.exe");
  options.stub = (scratch.path() / "stub.exe").string();
  const Built built = Build(options);
  ASSERT_TRUE(built.ok) << built.error;
  const std::string bytes = ReadBytes(scratch.path() / "patch.exe");
  EXPECT_EQ(bytes.substr(0, stub.size()), stub);
  // Same entries; the offsets now count from the stub's first byte.
  EXPECT_EQ(bytes.size(), stub.size() + ReadBytes(first).size());
  ReadBack read(scratch.path() / "patch.exe");
  ASSERT_TRUE(read.ok);
  EXPECT_EQ(read.context.catalogue.ItemCount, 6u);
}

TEST(PackageBuilder, ChoosesItemsAndListsFromTheTrees) {
  ScratchDirectory scratch("builder_items");
  const fs::path oldFolder = scratch.path() / "old";
  const fs::path newFolder = scratch.path() / "new";
  std::string big;
  for (int i = 0; i < 4000; ++i) big += "line " + std::to_string(i) + "\n";
  scratch.Write("old/big.txt", big);
  scratch.Write("new/big.txt", big + "one more line\n");
  scratch.Write("old/tiny.txt", "a");
  scratch.Write("new/tiny.txt", "b");
  scratch.Write("new/empty.txt", "");
  scratch.Write("old/a/b/c/file", "x");
  fs::create_directories(newFolder / "fresh/inner");
  fs::create_directories(oldFolder / "kept");
  fs::create_directories(newFolder / "kept");

  // The new file's time and read-only attribute travel with its entry.
  const fs::path tiny = newFolder / "tiny.txt";
  fs::permissions(tiny, fs::perms::owner_write | fs::perms::group_write | fs::perms::others_write,
                  fs::perm_options::remove);
  const DifferenceFileFacts facts = ReadFileFacts(tiny.string().c_str());
  uint32_t attributes = 0;
  ASSERT_TRUE(platform::ReadAttributes(tiny.string().c_str(), &attributes));

  BuildOptions options;
  options.oldFolder = oldFolder.string();
  options.newFolder = newFolder.string();
  options.output = (scratch.path() / "out.pkg").string();
  const Built built = Build(options);
  fs::permissions(tiny, fs::perms::owner_write, fs::perm_options::add);
  ASSERT_TRUE(built.ok) << built.error;

  ReadBack read(scratch.path() / "out.pkg");
  ASSERT_TRUE(read.ok);
  std::vector<std::string> items;
  for (const PatchItem& item : read.context.catalogue) {
    items.push_back(std::to_string(static_cast<int>(item.kind)) + " " + item.name);
    if (std::string(item.name) == "tiny.txt") {
      EXPECT_EQ(item.entry().ExternalAttributes(), attributes);
      EXPECT_EQ(item.entry().ExternalAttributes() & platform::kAttributeReadOnly,
                platform::kAttributeReadOnly);
      EXPECT_EQ(item.entry().DosTime(), facts.dosStamp & 0xFFFF);
      EXPECT_EQ(item.entry().DosDate(), facts.dosStamp >> 16);
    }
  }
  // An empty new file is added; only the innermost new empty folder needs an
  // item; a one-byte change is cheaper as a replacement than as a difference.
  const std::vector<std::string> expected = {"0 empty.txt", "0 fresh\\inner\\", "1 tiny.txt",
                                             "2 big.txt"};
  EXPECT_EQ(items, expected);
  EXPECT_EQ(std::string(read.context.settings.DelDirsList.text.get()), "a\\b\\c\r\na\\b\r\na\r\n");
  EXPECT_EQ(std::string(read.context.settings.DelFilesList.text.get()), "a\\b\\c\\file\r\n");
}

TEST(PackageBuilder, RefusesTreesAPackageCannotExpressAndLeavesNoOutput) {
  ScratchDirectory scratch("builder_refusals");
  struct Case {
    const char* name;
    std::vector<std::pair<std::string, std::string>> files;
    const char* errorPart;
  } cases[] = {
      {"file becomes folder", {{"old/x", "1"}, {"new/x/y", "2"}}, "cannot change one into the other"},
      {"names differ in case", {{"old/k", "1"}, {"new/Read.me", "1"}, {"new/READ.ME", "2"}},
       "differ only in letter case"},
      {"same trees", {{"old/same", "1"}, {"new/same", "1"}}, "would be empty"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove_all(scratch.path() / "old");
    fs::remove_all(scratch.path() / "new");
    for (const auto& [name, content] : c.files) scratch.Write(name, content);
    BuildOptions options;
    options.oldFolder = (scratch.path() / "old").string();
    options.newFolder = (scratch.path() / "new").string();
    options.output = (scratch.path() / "out.pkg").string();
    const Built built = Build(options);
    EXPECT_FALSE(built.ok);
    EXPECT_NE(built.error.find(c.errorPart), std::string::npos) << built.error;
    EXPECT_FALSE(fs::exists(scratch.path() / "out.pkg"));
  }
  BuildOptions missing;
  missing.oldFolder = (scratch.path() / "nowhere").string();
  missing.newFolder = (scratch.path() / "new").string();
  missing.output = (scratch.path() / "out.pkg").string();
  const Built built = Build(missing);
  EXPECT_FALSE(built.ok);
  EXPECT_NE(built.error.find("nowhere"), std::string::npos) << built.error;
}

}  // namespace
