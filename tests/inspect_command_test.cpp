// selfpatch-make inspect: its exact listing of a package, and its refusal of
// damaged and empty packages with the program's own texts.
#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "tests/support/package_writer.h"
#include "tests/support/run_fixture.h"
#include "tools/make/package_commands.h"

namespace {

namespace fs = std::filesystem;

struct Outcome {
  int status;
  std::string out;
  std::string err;
};

Outcome Inspect(std::vector<std::string> arguments) {
  std::vector<char*> pointers;
  for (std::string& argument : arguments) pointers.push_back(argument.data());
  testing::internal::CaptureStdout();
  testing::internal::CaptureStderr();
  const int status = InspectCommands()[0].run(pointers);
  Outcome outcome{status, testing::internal::GetCapturedStdout(),
                  testing::internal::GetCapturedStderr()};
  return outcome;
}

std::string ReadText(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

// Compares with tests/expected/<name>; SELFPATCH_UPDATE_EXPECTED=1 rewrites it.
void ExpectMatchesFile(const std::string& actual, const char* name) {
  const fs::path path = fs::path(SELFPATCH_SOURCE_DIR) / "tests" / "expected" / name;
  const char* update = std::getenv("SELFPATCH_UPDATE_EXPECTED");
  if (update != nullptr && std::string(update) == "1") {
    std::ofstream(path, std::ios::binary) << actual;
    return;
  }
  EXPECT_EQ(actual, ReadText(path)) << "expected file " << path;
}

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size())) {
    text.replace(at, from.size(), to);
  }
  return text;
}

// Stored entries only, so that the sizes shown do not depend on the
// compressor's version.
PackagePlan ListedPackage() {
  PackagePlan plan;
  plan.hostPrefix = BytesOf("MZ stub");
  plan.files = {
      StoredFile("product", BytesOf("[PRODUCT]\r\nProductName=Viewer \"Pro\"\r\nOldVersion=2.0\r\n"
                                    "NewVersion=2.1\r\n")),
      StoredFile("install", BytesOf("[INSTALL]\r\nApplyToSrc=0\r\nSimulateApplying=0\r\n"
                                    "[WIZARD]\r\nShowLicense=1\r\n"
                                    "[SRC_FIXPATH]\r\nPath=/opt/viewer/\r\n"
                                    "[DST_FIXPATH]\r\nPath=next\r\n"
                                    "[LOG]\r\nLogFileName=/var/log/viewer.log\r\n")),
      StoredFile("license.rtf", BytesOf("{\\rtf1 licence}")),
      StoredFile("Update/bin/viewer.exe.df", BytesOf("difference bytes")),
      StoredFile("Add/plugins/zoom.dll", BytesOf("plugin")),
      StoredFile("Add/cache/", {}),
      StoredFile("Replace/README", BytesOf("read me")),
      StoredFile("del.files", BytesOf("old.dll\r\nold.hlp\r\n")),
  };
  plan.files[5].externalAttributes = kAttributeDirectory;
  return plan;
}

TEST(InspectCommand, ListsItemsControlEntriesCountsAndSettingsExactly) {
  ScratchDirectory scratch("inspect_listing");
  const fs::path package = scratch.path() / "viewer-patch.exe";
  const std::vector<uint8_t> bytes = BuildPackage(ListedPackage()).bytes;
  std::ofstream(package, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));

  const Outcome text = Inspect({package.string()});
  EXPECT_EQ(text.status, 0) << text.err;
  ExpectMatchesFile(Replaced(text.out, scratch.path().string(), "<ROOT>"), "inspect_listing.txt");
  const Outcome json = Inspect({package.string(), "--json"});
  EXPECT_EQ(json.status, 0) << json.err;
  ExpectMatchesFile(Replaced(json.out, scratch.path().string(), "<ROOT>"), "inspect_listing.json");
}

TEST(InspectCommand, DamagedAndEmptyPackagesPrintTheProgramsTextAndFail) {
  ScratchDirectory scratch("inspect_damaged");
  PackagePlan damagedLicence = ListedPackage();
  damagedLicence.files[2].crc = 1;
  const struct {
    const char* name;
    std::vector<uint8_t> bytes;
    std::string message;
  } cases[] = {
      {"empty.pkg", {}, "空的补丁文件。"},
      {"garbage.pkg", BytesOf("MZ this is not a package at all"), "补丁文件错误。"},
      {"no-entries.pkg", BuildPackage(PackagePlan{.hostPrefix = BytesOf("MZ")}).bytes,
       "the archive holds no entries"},
      {"only-settings.pkg",
       BuildPackage(PackagePlan{.hostPrefix = BytesOf("MZ"),
                                .files = {StoredFile("product", BytesOf("[PRODUCT]"))}})
           .bytes,
       "什么事也没做，无聊，补丁文件是空的!"},
      {"damaged-licence.pkg", BuildPackage(damagedLicence).bytes,
       "压缩文件“license.rtf”被破坏。"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const fs::path path = scratch.path() / c.name;
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(c.bytes.data()), static_cast<std::streamsize>(c.bytes.size()));
    const Outcome outcome = Inspect({path.string()});
    EXPECT_EQ(outcome.status, 1);
    EXPECT_TRUE(outcome.out.empty()) << outcome.out;
    EXPECT_NE(outcome.err.find(c.message), std::string::npos) << outcome.err;
  }
  EXPECT_EQ(Inspect({(scratch.path() / "missing.pkg").string()}).status, 1);
  EXPECT_EQ(Inspect({}).status, 2);
}

}  // namespace
