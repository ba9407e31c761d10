// The run driver: entry classification, name preparation and order, control
// entry checks, empty and damaged packages, step counts.
#include <gtest/gtest.h>

#include <ostream>
#include <string>
#include <vector>

#include "engine/run_context.h"
#include "package/run_package.h"
#include "platform/message_box.h"
#include "tests/support/package_writer.h"
#include "tests/support/run_fixture.h"
#include "tools/make/scripted_front_end.h"

namespace {

using Item = RecordingWizard::Item;

}  // namespace

void PrintTo(const RecordingWizard::Item& item, std::ostream* out) {
  *out << static_cast<int>(item.kind) << ":" << item.name << ":" << item.nameLength
       << (item.directory ? ":dir" : "");
}

namespace {

PackageEntryPlan DirectoryEntry(std::string name) {
  PackageEntryPlan file = StoredFile(std::move(name), {});
  file.externalAttributes = kAttributeDirectory;
  return file;
}

struct PackageRun {
  explicit PackageRun(std::vector<int> answers = {}) : host(std::move(answers)), context(host) {}
  int32_t Package(const PackagePlan& plan) {
    layout = BuildPackage(plan);
    return RunPackage(context, wizard, layout.bytes.data(),
                      static_cast<uint32_t>(layout.bytes.size()));
  }
  AnswerScriptHost host;
  RunContext context;
  RecordingWizard wizard;
  PackageLayout layout;
};

TEST(RunPackage, ClassifiesEntriesByPrefixAndSortsByKindThenName) {
  PackagePlan plan;
  for (const char* name : {"Update/c.exe.df", "Replace/b.dll", "Add/a.txt", "ADD/x.txt",
                           "add/y.txt", "Update/readme.txt", "Update/.df", "Update/a.df",
                           "Add/sub/dir/file.txt", "Add/", "Replace/", "Update/", "other.txt",
                           "UPDATE/Z.DF", "Add/../up.txt", "Add/C:/drive.txt"}) {
    plan.files.push_back(DeflatedFile(name, BytesOf(name)));
  }
  plan.files.push_back(DirectoryEntry("Add/sub/"));
  plan.files.push_back(DirectoryEntry("Update/folder/"));
  plan.files.push_back(StoredFile("PRODUCT", BytesOf("[PRODUCT]\nProductName=P\n")));

  PackageRun run;
  EXPECT_EQ(run.Package(plan), -1);
  ASSERT_TRUE(run.wizard.opened);
  // Names keep ".." and drive letters here; placement decides what to do
  // with them.
  const std::vector<Item> expected = {
      {ItemKind::kAdd, "..\\up.txt", 9, false},
      {ItemKind::kAdd, "a.txt", 5, false},
      {ItemKind::kAdd, "C:\\drive.txt", 12, false},
      {ItemKind::kAdd, "sub\\", 4, true},
      {ItemKind::kAdd, "sub\\dir\\file.txt", 16, false},
      {ItemKind::kAdd, "x.txt", 5, false},
      {ItemKind::kAdd, "y.txt", 5, false},
      {ItemKind::kReplace, "b.dll", 5, false},
      {ItemKind::kUpdate, "a", 1, false},
      {ItemKind::kUpdate, "c.exe", 5, false},
      {ItemKind::kUpdate, "folder\\", 7, true},
      {ItemKind::kUpdate, "Z", 1, false},
  };
  EXPECT_EQ(run.wizard.items, expected);
  EXPECT_EQ(run.wizard.updateItemCount, 4u);
  EXPECT_EQ(run.wizard.totalSteps, expected.size());
  EXPECT_NE(run.wizard.controlEntries[ControlEntry::kProduct], nullptr);
  EXPECT_STREQ(run.context.settings.ProductName.chars(), "P");
  // Everything the run held is freed when it returns.
  EXPECT_EQ(run.context.catalogue.items, nullptr);
  EXPECT_EQ(run.context.catalogue.ItemCount, 0u);
}

TEST(RunPackage, NamesThatDifferOnlyInCaseBothStayInTheirKind) {
  PackagePlan plan;
  plan.files = {DeflatedFile("Replace/z", BytesOf("1")), DeflatedFile("Add/Name.txt", BytesOf("2")),
                DeflatedFile("Add/NAME.TXT", BytesOf("3")), DeflatedFile("Add/b", BytesOf("4"))};
  PackageRun run;
  static_cast<void>(run.Package(plan));
  ASSERT_EQ(run.wizard.items.size(), 4u);
  EXPECT_EQ(run.wizard.items[0].name, "b");
  // Either order of the pair is right.
  const std::string pair = run.wizard.items[1].name + "|" + run.wizard.items[2].name;
  EXPECT_TRUE(pair == "Name.txt|NAME.TXT" || pair == "NAME.TXT|Name.txt") << pair;
  EXPECT_EQ(run.wizard.items[3].name, "z");
}

TEST(RunPackage, LaterControlEntryOfTheSameNameReplacesTheEarlier) {
  PackagePlan plan;
  plan.files = {DeflatedFile("product", BytesOf("[PRODUCT]\nProductName=First\n")),
                DeflatedFile("Product", BytesOf("[PRODUCT]\nProductName=Second\n")),
                DeflatedFile("Add/a", BytesOf("a"))};
  PackageRun run;
  static_cast<void>(run.Package(plan));
  EXPECT_STREQ(run.context.settings.ProductName.chars(), "Second");
}

struct FailureCase {
  const char* name;
  PackagePlan plan;
  std::string question;  // empty: no question at all
  uint32_t icon;
  bool wizardOpens;
  uint32_t totalSteps;
};

PackagePlan DamagedCentralRecord() {
  PackagePlan plan;
  plan.files = {DeflatedFile("Add/a", BytesOf("a"))};
  plan.files[0].centralSignature = 0x12345678;
  return plan;
}

TEST(RunPackage, FailuresEndTheRunWithTheirMessage) {
  const std::string empty = "什么事也没做，无聊，补丁文件是空的!";
  std::vector<FailureCase> cases;
  cases.push_back({"no end record", PackagePlan{.files = {DeflatedFile("Add/a", BytesOf("a"))},
                                                .endSignature = 0x01020304},
                   "补丁文件错误。", platform::kMbIconError, false, 0});
  cases.push_back({"no entries", PackagePlan{.hostPrefix = BytesOf("MZ host")}, "", 0, false, 0});
  cases.push_back({"malformed central record", DamagedCentralRecord(), "补丁文件错误。",
                   platform::kMbIconError, false, 0});
  cases.push_back({"only product and install",
                   PackagePlan{.files = {DeflatedFile("product", BytesOf("[PRODUCT]\n")),
                                         DeflatedFile("install", BytesOf("[INSTALL]\n"))}},
                   empty, platform::kMbIconWarning, false, 0});
  cases.push_back({"deletion list without items",
                   PackagePlan{.files = {DeflatedFile("product", BytesOf("[PRODUCT]\n")),
                                         DeflatedFile("install", BytesOf("[INSTALL]\n")),
                                         DeflatedFile("del.files", BytesOf("a\r\n\r\n  b  \nc"))}},
                   "", 0, true, 3});
  cases.push_back({"empty deletion list without items",
                   PackagePlan{.files = {StoredFile("del.dirs", {})}}, "", 0, true, 0});
  for (const FailureCase& c : cases) {
    SCOPED_TRACE(c.name);
    PackageRun run;
    EXPECT_EQ(run.Package(c.plan), -1);
    EXPECT_EQ(run.wizard.opened, c.wizardOpens);
    EXPECT_EQ(run.wizard.totalSteps, c.totalSteps);
    if (c.question.empty()) {
      EXPECT_TRUE(run.host.asked.empty()) << run.host.asked[0].text;
      continue;
    }
    ASSERT_EQ(run.host.asked.size(), 1u);
    EXPECT_EQ(run.host.asked[0].text, c.question);
    EXPECT_EQ(run.host.asked[0].style & 0xFFF, c.icon);
  }
}

TEST(RunPackage, DamagedControlEntryIsDroppedOnYesAndEndsTheRunOnNo) {
  PackagePlan plan;
  plan.files = {DeflatedFile("Add/a.txt", BytesOf("a")),
                DeflatedFile("license.rtf", BytesOf("{\\rtf1 licence}")),
                DeflatedFile("notes.rtf", BytesOf("{\\rtf1 notes}"))};
  plan.files[1].crc = 0xDEADBEEF;
  for (int answer : {platform::kIdYes, platform::kIdNo}) {
    SCOPED_TRACE(answer);
    PackageRun run({answer});
    EXPECT_EQ(run.Package(plan), -1);
    ASSERT_EQ(run.host.asked.size(), 1u);
    EXPECT_EQ(run.host.asked[0].text, "压缩文件“license.rtf”被破坏。\n\n继续当前的进程吗？");
    EXPECT_EQ(run.host.asked[0].style & 0xFFF,
              platform::kMbYesNo | platform::kMbIconError | platform::kMbDefButton2);
    EXPECT_EQ(run.wizard.opened, answer == platform::kIdYes);
    if (answer == platform::kIdYes) {
      EXPECT_EQ(run.wizard.controlEntries[ControlEntry::kLicense], nullptr);
      EXPECT_NE(run.wizard.controlEntries[ControlEntry::kNotes], nullptr);
      EXPECT_TRUE(run.context.settings.LicenceText.empty());
      EXPECT_STREQ(run.context.settings.NotesText.chars(), "{\\rtf1 notes}");
    }
  }
}

TEST(RunPackage, ReturnsTheCompletionCodeTheWizardLeaves) {
  PackagePlan plan;
  plan.files = {DeflatedFile("Add/a", BytesOf("a"))};
  PackageRun run;
  run.wizard.completionCode = 1;
  EXPECT_EQ(run.Package(plan), 1);
  EXPECT_FALSE(run.context.ModulePath.empty());
}

TEST(RunPackage, StepsCountListNamesAndItems) {
  PackagePlan plan;
  plan.files = {DeflatedFile("Add/a", BytesOf("a")), DeflatedFile("Replace/b", BytesOf("b")),
                DeflatedFile("del.dirs", BytesOf("one/two\n\n\t\nthree\r")),
                DeflatedFile("del.files", BytesOf("x\r\ny\r\n z \r\n"))};
  PackageRun run;
  static_cast<void>(run.Package(plan));
  EXPECT_EQ(run.wizard.delDirsCount, 2u);
  EXPECT_EQ(run.wizard.delFilesCount, 3u);
  EXPECT_EQ(run.wizard.totalSteps, 7u);
  // The lists are freed with the catalogue.
  EXPECT_FALSE(run.context.settings.DelDirsList.present());
}

}  // namespace
