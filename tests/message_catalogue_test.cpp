// The message catalogue's loading and lookup, the string table it reads, and
// the texts cached at start-up.
#include "startup/message_catalogue.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "message_keys.h"
#include "platform/string_resources.h"
#include "startup/process_texts.h"

namespace {

constexpr MessageKey Key(uint16_t group, uint16_t number) { return (uint32_t{group} << 16) | number; }

TEST(MessageCatalogue, EmptyPackageTextByGroupAndNumber) {
  EXPECT_STREQ("什么事也没做，无聊，补丁文件是空的!", LookupText(Key(2, 488)));
  EXPECT_EQ(LookupText(Key(2, 488)), LookupText(kMsgEmptyPackage));
}

TEST(MessageCatalogue, KeepsTrailingBlanksLineBreaksAndRtfBackslashes) {
  EXPECT_STREQ("创建目录 ", LookupText(kMsgCreatingDirectory));
  EXPECT_STREQ("       到 ", LookupText(kMsgCopyTo));
  EXPECT_STREQ("\n\n继续模拟进程吗？", LookupText(kMsgContinueSimulation));
  EXPECT_STREQ("\\fs8  \\par\\fs%i %s", LookupText(kMsgSpacerParagraph));
  EXPECT_STREQ("网站:   %s\\par ", LookupText(kMsgWebLine));
}

TEST(MessageCatalogue, GroupAboveTwelveAnswersNullAndCarriesOn) {
  for (uint16_t group : {13, 14, 0x8000, 0xFFFF}) {
    EXPECT_EQ(nullptr, LookupText(Key(group, 488))) << "group " << group;
  }
}

TEST(MessageCatalogueDeathTest, MissingKeyOfACheckedGroupEndsTheProcess) {
  EXPECT_EXIT(static_cast<void>(LookupText(Key(2, 489))), testing::ExitedWithCode(255),
              "ENGTXT: Resource string not found!");
  EXPECT_EXIT(static_cast<void>(LookupText(Key(12, 1))), testing::ExitedWithCode(255),
              "ENGTXT: Resource string not found!");
}

TEST(MessageCatalogue, EveryRowRoundTripsToItsString) {
  for (int id = 0; id < kStringCount; ++id) {
    const StringTableRow& row = kStringTableRows[id];
    const char* text = LookupText(Key(row.group, row.number));
    ASSERT_NE(nullptr, text) << "id " << id;
    EXPECT_STREQ(kStringTableUtf8[id], text) << "id " << id;
  }
}

TEST(StringResources, LoadsLikeLoadStringA) {
  char buffer[64];
  EXPECT_EQ(static_cast<int>(std::strlen(kStringTableUtf8[19])),
            platform::LoadResourceString(19, buffer, sizeof buffer));
  EXPECT_STREQ("什么事也没做，无聊，补丁文件是空的!", buffer);

  // Cut to capacity - 1 bytes, never inside a character.
  std::memset(buffer, 'x', sizeof buffer);
  EXPECT_EQ(3, platform::LoadResourceString(7, buffer, 5));  // "正确" is 6 bytes
  EXPECT_STREQ("正", buffer);
  EXPECT_EQ(6, platform::LoadResourceString(7, buffer, 7));
  EXPECT_STREQ("正确", buffer);
  EXPECT_EQ(1, platform::LoadResourceString(42, buffer, 2));  // " 是空的"
  EXPECT_STREQ(" ", buffer);

  EXPECT_EQ(0, platform::LoadResourceString(kStringCount, buffer, sizeof buffer));
  EXPECT_STREQ("", buffer);
  EXPECT_EQ(0, platform::LoadResourceString(0, buffer, 0));
}

// A string table in memory that records every load it is asked for.
struct FakeTable {
  explicit FakeTable(std::vector<const char*> texts) : strings(std::move(texts)) {}

  std::vector<const char*> strings;  // by id; null or "" for no string
  std::vector<std::pair<uint32_t, int>> calls;  // id and capacity offered

  StringLoader Loader() {
    return [this](uint32_t id, char* buffer, int capacity) {
      calls.emplace_back(id, capacity);
      const char* text = id < strings.size() ? strings[id] : nullptr;
      const int length = text ? static_cast<int>(std::strlen(text)) : 0;
      const int copied = std::min(length, capacity - 1);
      std::memcpy(buffer, text ? text : "", copied);
      buffer[copied] = '\0';
      return copied;
    };
  }
};

constexpr StringTableRow kFakeRows[] = {{1, 5}, {2, 3}, {2, 9}, {2, 700}};

TEST(MessageCatalogue, LoadsInTwoPassesIntoOneExactBlock) {
  FakeTable table({"ab", "", "cde", "f"});
  MessageCatalogue catalogue(table.Loader(), kFakeRows);
  EXPECT_FALSE(catalogue.loaded());

  const char* ab = catalogue.LookupText(Key(1, 5));
  EXPECT_TRUE(catalogue.loaded());
  EXPECT_EQ(3u + 4u + 2u, catalogue.blockSize());

  // Measured in the scratch buffer, then loaded into what is left of the block.
  const std::vector<std::pair<uint32_t, int>> expected = {
      {0, 4100}, {1, 4100}, {2, 4100}, {3, 4100}, {0, 9}, {1, 6}, {2, 6}, {3, 2}};
  EXPECT_EQ(expected, table.calls);

  ASSERT_NE(nullptr, ab);
  EXPECT_STREQ("ab", ab);
  EXPECT_EQ(nullptr, catalogue.LookupText(Key(2, 3)));  // no string for id 1
  EXPECT_EQ(ab + 3, catalogue.LookupText(Key(2, 9)));
  EXPECT_STREQ("cde", catalogue.LookupText(Key(2, 9)));
  EXPECT_EQ(ab + 7, catalogue.LookupText(Key(2, 700)));
  EXPECT_STREQ("f", catalogue.LookupText(Key(2, 700)));
  EXPECT_EQ(8u, table.calls.size());  // loaded once only
}

TEST(MessageCatalogue, NumbersCompareUnsigned) {
  constexpr StringTableRow rows[] = {{2, 1}, {2, 0x7FFF}, {2, 0x8000}, {2, 0xFFFF}, {3, 0}};
  FakeTable table({"a", "b", "c", "d", "e"});
  MessageCatalogue catalogue(table.Loader(), rows);
  const std::map<MessageKey, std::string> expected = {
      {Key(2, 1), "a"}, {Key(2, 0x7FFF), "b"}, {Key(2, 0x8000), "c"}, {Key(2, 0xFFFF), "d"}, {Key(3, 0), "e"}};
  for (const auto& [key, text] : expected) EXPECT_STREQ(text.c_str(), catalogue.LookupText(key)) << key;
}

TEST(MessageCatalogue, NoStringsAtAllAnswersNullForEveryKey) {
  FakeTable table({});
  MessageCatalogue catalogue(table.Loader(), kFakeRows);
  EXPECT_EQ(nullptr, catalogue.LookupText(Key(1, 5)));
  // Not in the key table, yet no fatal error: without a block nothing is searched.
  EXPECT_EQ(nullptr, catalogue.LookupText(Key(2, 4)));
  EXPECT_EQ(0u, catalogue.blockSize());
  EXPECT_EQ(4u, table.calls.size());  // the first pass only, and only once
}

TEST(MessageCatalogueDeathTest, MissingKeyEndsTheProcessEvenAfterAGoodLookup) {
  FakeTable table({"ab", "", "cde", "f"});
  MessageCatalogue catalogue(table.Loader(), kFakeRows);
  ASSERT_STREQ("ab", catalogue.LookupText(Key(1, 5)));
  EXPECT_EQ(nullptr, catalogue.LookupText(Key(13, 5)));
  EXPECT_EXIT(static_cast<void>(catalogue.LookupText(Key(2, 4))), testing::ExitedWithCode(255),
              "ENGTXT: Resource string not found!");
}

TEST(MessageCatalogue, LoaderThatGrowsNeverWritesPastTheBlock) {
  // Measured short, loaded long: the block's end bounds every copy, and ids
  // after a full block are not loaded at all.
  bool measured = false;
  std::vector<std::pair<uint32_t, int>> calls;
  StringLoader loader = [&](uint32_t id, char* buffer, int capacity) {
    calls.emplace_back(id, capacity);
    const std::string text = measured ? "longer" : "ab";
    if (id == 3) measured = true;
    const int copied = std::min(static_cast<int>(text.size()), capacity - 1);
    std::memcpy(buffer, text.data(), copied);
    buffer[copied] = '\0';
    return copied;
  };
  MessageCatalogue catalogue(loader, kFakeRows);
  EXPECT_STREQ("longer", catalogue.LookupText(Key(1, 5)));
  EXPECT_EQ(12u, catalogue.blockSize());
  EXPECT_STREQ("long", catalogue.LookupText(Key(2, 3)));
  EXPECT_EQ(nullptr, catalogue.LookupText(Key(2, 9)));
  EXPECT_EQ(6u, calls.size());
}

TEST(ProcessTexts, FetchedInInitialiserOrder) {
  std::vector<MessageKey> asked;
  const ProcessTexts texts = FetchProcessTexts([&](MessageKey key) {
    asked.push_back(key);
    return LookupText(key);
  });
  const std::vector<MessageKey> expected = {
      kMsgCorrect, kMsgFailed, kMsgCreatingDirectory, kMsgStageIntegrity, kMsgStageSimulate,
      kMsgStageBackup, kMsgStageApply, kMsgContinueSimulation, kMsgRtfWrapper, kMsgButtonInstall,
      kMsgButtonNext, kMsgUnknown, kMsgPrefixAdded, kMsgPrefixReplaced, kMsgPrefixUpdated,
      kMsgAddingFile, kMsgReplacingFile, kMsgPatchingFile, kMsgContainerDamaged,
      kMsgContainerInconsistent, kMsgPatchDataDamaged};
  EXPECT_EQ(expected, asked);
  EXPECT_EQ(LookupText(kMsgPrefixReplaced), texts.itemDone[1]);
}

TEST(ProcessTexts, ProcessRecordHoldsTheCatalogueTexts) {
  InitProcessTexts();
  const ProcessTexts& texts = GetProcessTexts();
  InitProcessTexts();
  EXPECT_EQ(&texts, &GetProcessTexts());

  const std::vector<std::pair<const char*, const char*>> fields = {
      {texts.correct, "正确"},
      {texts.failed, "失败"},
      {texts.creatingDirectory, "创建目录 "},
      {texts.stageIntegrity, "检验补丁文件完整性"},
      {texts.stageSimulate, "模拟升级"},
      {texts.stageBackup, "备份"},
      {texts.stageApply, "正在应用"},
      {texts.continueSimulation, "\n\n继续模拟进程吗？"},
      {texts.rtfWrapper,
       "{\\rtf1\\ansi\\ansicpg1252\\deff0\\deflang1049{\\fonttbl{\\f0\\fswiss\\fprq2\\fcharset134 "
       "宋体;}}\\viewkind4\\uc1\\pard\\b0\\f0\\fs%i %s}"},
      {texts.buttonInstall, "安装(&I)"},
      {texts.buttonNext, "下一步(&N) >"},
      {texts.unknown, "<未知>"},
      {texts.itemDone[0], "[已添加] "},
      {texts.itemDone[1], "[已替换] "},
      {texts.itemDone[2], "[已更新] "},
      {texts.itemAction[0], "添加文件 "},
      {texts.itemAction[1], "替换文件 "},
      {texts.itemAction[2], "补丁文件 "},
      {texts.containerDamaged, "补丁文件错误。"},
      {texts.containerInconsistent, "文件不一致错误。"},
      {texts.patchDataDamaged, "补丁数据损坏"},
  };
  for (size_t i = 0; i < fields.size(); ++i) EXPECT_STREQ(fields[i].second, fields[i].first) << "field " << i;
}

}  // namespace
