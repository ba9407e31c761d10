// The difference commands of selfpatch-make: diff, apply and verify.
#include <cinttypes>
#include <cstdio>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "base/text_buffer.h"
#include "engine/difference_applier.h"
#include "platform/file.h"
#include "platform/message_box.h"
#include "report/question_host.h"
#include "tools/make/commands.h"
#include "tools/make/difference_encoder.h"
#include "tools/make/tool_files.h"

namespace {

// Answers every question of the applier (a full disk) the way that stops:
// nobody sits at a console to free space and press Retry.
class StoppingQuestionHost final : public QuestionHost {
 public:
  int ShowMessageBox(const char* text, const char* caption, uint32_t style) override {
    std::fprintf(stderr, "%s\n", text);
    switch (style & 0xF) {
      case platform::kMbAbortRetryIgnore:
        return platform::kIdAbort;
      case platform::kMbYesNo:
      case platform::kMbYesNoCancel:
        return platform::kIdNo;
      case platform::kMbOkCancel:
      case platform::kMbRetryCancel:
        return platform::kIdCancel;
      default:
        return platform::kIdOk;
    }
  }
};

bool WantsHelp(std::span<char* const> arguments) {
  for (const char* argument : arguments) {
    if (std::strcmp(argument, "--help") == 0 || std::strcmp(argument, "-h") == 0) return true;
  }
  return false;
}

int Usage(const char* usage) {
  std::fprintf(stderr, "usage: %s\n", usage);
  return kExitUsage;
}

int Fail(const std::string& message) {
  std::fprintf(stderr, "selfpatch-make: %s\n", message.c_str());
  return kExitFailure;
}

// Prints the applier's reason exactly; the system's when the applier left
// none (the old file could not be mapped, a write failed).
int FailWithApplierText(const TextBuffer& error) {
  if (error.empty()) return Fail(LastSystemErrorText());
  std::fprintf(stderr, "%s\n", error.chars());
  return kExitFailure;
}

bool LoadDifference(const char* path, InputFile& input, std::string& error) {
  if (!input.Open(path, error)) return false;
  if (input.bytes().size() > std::numeric_limits<uint32_t>::max()) {
    error = std::string(path) + " is larger than a difference can be (4 GiB)";
    return false;
  }
  return true;
}

constexpr char kDiffUsage[] = "selfpatch-make diff OLD NEW OUT";
constexpr char kDiffHelp[] =
    "usage: selfpatch-make diff OLD NEW OUT\n"
    "\n"
    "Writes to OUT the difference file that turns OLD into NEW: the form an\n"
    "Update item of a package carries. The difference is verified against OLD\n"
    "with the package's own applier before OUT is written. Reports the size of\n"
    "the difference, raw and after DEFLATE level 9 as a package stores it.\n"
    "\n"
    "Exit status: 0 written and verified, 1 failure, 2 wrong usage.\n";

int RunDiff(std::span<char* const> arguments) {
  if (WantsHelp(arguments)) {
    std::fputs(kDiffHelp, stdout);
    return kExitSuccess;
  }
  if (arguments.size() != 3) return Usage(kDiffUsage);
  const char* oldPath = arguments[0];
  const char* newPath = arguments[1];
  const char* outPath = arguments[2];

  std::string error;
  InputFile oldInput;
  InputFile newInput;
  if (!oldInput.Open(oldPath, error) || !newInput.Open(newPath, error)) return Fail(error);

  std::vector<uint8_t> difference;
  DifferenceStatistics statistics;
  if (EncodeDifference(oldInput.bytes(), newInput.bytes(), ReadFileFacts(oldPath),
                       ReadFileFacts(newPath), difference, &statistics) != EncodeStatus::kEncoded) {
    return Fail("the files are too large for a difference (4 GiB each at most)");
  }

  // The applier maps the old file itself; neither view is needed any more.
  oldInput.ReleaseBytes();
  newInput.ReleaseBytes();
  TextBuffer verifyError;
  if (!VerifyDifference(oldInput.file(), difference.data(), static_cast<uint32_t>(difference.size()),
                        verifyError)) {
    std::fprintf(stderr, "selfpatch-make: the difference does not reproduce %s:\n", newPath);
    return FailWithApplierText(verifyError);
  }
  if (!WriteWholeFile(outPath, difference, error)) return Fail(error);

  std::printf("%s: %zu bytes, %" PRIu64 " after deflate\n", outPath, difference.size(),
              DeflatedSize(difference));
  std::printf("  %u blocks: %u copied, %u literal (%" PRIu64 " bytes)\n", statistics.blockCount,
              statistics.copyBlockCount, statistics.blockCount - statistics.copyBlockCount,
              statistics.literalBlockBytes);
  std::printf("  pieces: %u new (%" PRIu64 " bytes), %u repeated (%" PRIu64 " bytes)\n",
              statistics.newPieceCount, statistics.newPieceBytes, statistics.repeatPieceCount,
              statistics.repeatPieceBytes);
  return kExitSuccess;
}

constexpr char kApplyUsage[] = "selfpatch-make apply OLD DIFF OUT";
constexpr char kApplyHelp[] =
    "usage: selfpatch-make apply OLD DIFF OUT\n"
    "\n"
    "Applies the difference file DIFF to OLD and writes the result to OUT, with\n"
    "the applier a package runs. On failure prints the applier's reason and\n"
    "removes OUT.\n"
    "\n"
    "Exit status: 0 applied, 1 failure, 2 wrong usage.\n";

int RunApply(std::span<char* const> arguments) {
  if (WantsHelp(arguments)) {
    std::fputs(kApplyHelp, stdout);
    return kExitSuccess;
  }
  if (arguments.size() != 3) return Usage(kApplyUsage);
  const char* oldPath = arguments[0];
  const char* diffPath = arguments[1];
  const char* outPath = arguments[2];

  std::string error;
  InputFile diffInput;
  if (!LoadDifference(diffPath, diffInput, error)) return Fail(error);
  platform::File oldFile = platform::File::OpenForReading(oldPath);
  if (!oldFile.IsOpen()) return Fail(std::string("cannot open ") + oldPath + ": " + LastSystemErrorText());
  platform::File outFile = platform::File::CreateForWriting(outPath);
  if (!outFile.IsOpen()) return Fail(std::string("cannot create ") + outPath + ": " + LastSystemErrorText());

  StoppingQuestionHost host;
  TextBuffer applyError;
  const bool applied =
      ApplyDifference(host, oldFile, diffInput.bytes().data(),
                      static_cast<uint32_t>(diffInput.bytes().size()), &outFile, applyError);
  if (!applied) {
    // The system's reason must be taken before closing and removing the file.
    const std::string systemText = applyError.empty() ? LastSystemErrorText() : std::string();
    outFile.Close();
    std::remove(outPath);
    if (!applyError.empty()) return FailWithApplierText(applyError);
    return Fail(systemText);
  }
  outFile.Close();
  return kExitSuccess;
}

constexpr char kVerifyUsage[] = "selfpatch-make verify OLD DIFF";
constexpr char kVerifyHelp[] =
    "usage: selfpatch-make verify OLD DIFF\n"
    "\n"
    "Checks that the difference file DIFF applies to OLD: every test and every\n"
    "decoding step of the applier, without writing anything. On failure prints\n"
    "the applier's reason.\n"
    "\n"
    "Exit status: 0 applies, 1 failure, 2 wrong usage.\n";

int RunVerify(std::span<char* const> arguments) {
  if (WantsHelp(arguments)) {
    std::fputs(kVerifyHelp, stdout);
    return kExitSuccess;
  }
  if (arguments.size() != 2) return Usage(kVerifyUsage);
  const char* oldPath = arguments[0];
  const char* diffPath = arguments[1];

  std::string error;
  InputFile diffInput;
  if (!LoadDifference(diffPath, diffInput, error)) return Fail(error);
  platform::File oldFile = platform::File::OpenForReading(oldPath);
  if (!oldFile.IsOpen()) return Fail(std::string("cannot open ") + oldPath + ": " + LastSystemErrorText());

  TextBuffer verifyError;
  if (!VerifyDifference(oldFile, diffInput.bytes().data(),
                        static_cast<uint32_t>(diffInput.bytes().size()), verifyError)) {
    return FailWithApplierText(verifyError);
  }
  std::printf("%s applies to %s\n", diffPath, oldPath);
  return kExitSuccess;
}

constexpr ToolCommand kCommands[] = {
    {"diff", "write the difference file from OLD to NEW", kDiffHelp, RunDiff},
    {"apply", "apply a difference file to OLD", kApplyHelp, RunApply},
    {"verify", "check that a difference file applies to OLD", kVerifyHelp, RunVerify},
};

}  // namespace

std::span<const ToolCommand> DifferenceCommands() { return kCommands; }
