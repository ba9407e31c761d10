// selfpatch-make inspect: a package's catalogue in processing order, its
// control entries, counts, and the settings this machine reads from it.
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "engine/run_context.h"
#include "message_keys.h"
#include "package/run_package.h"
#include "platform/code_page.h"
#include "startup/message_catalogue.h"
#include "startup/process_texts.h"
#include "tools/make/package_commands.h"
#include "tools/make/tool_files.h"

namespace {

constexpr char kHelp[] =
    "usage: selfpatch-make inspect PACKAGE [--json] [--code-page N]\n"
    "\n"
    "Reads PACKAGE (a package or package data file) as the program does when it\n"
    "starts and lists what it found:\n"
    "  - the items in processing order: kind, relative name, stored and full\n"
    "    size, whether the entry is a folder;\n"
    "  - the control entries found and their sizes;\n"
    "  - the counts: items, Update items, names in del.files and del.dirs,\n"
    "    progress steps;\n"
    "  - every setting read from the package on this machine, the folders found\n"
    "    through the registry, INI files or fixed paths included.\n"
    "A damaged or empty package prints the program's own reading-error text and\n"
    "ends with a non-zero status.\n"
    "\n"
    "  --json          print one JSON object instead of text\n"
    "  --code-page N   code page of the package's names and texts, shown\n"
    "                  converted (default 936)\n";

// Records the questions the run driver asks and answers No, so that a
// damaged control entry ends the reading as a refused question would.
class RecordingHost final : public QuestionHost {
 public:
  int ShowMessageBox(const char* text, const char* caption, uint32_t style) override {
    texts.emplace_back(text != nullptr ? text : "");
    return 7;  // IDNO
  }
  std::vector<std::string> texts;
};

const char* KindName(ItemKind kind) {
  switch (kind) {
    case ItemKind::kAdd:
      return "Add";
    case ItemKind::kReplace:
      return "Replace";
    case ItemKind::kUpdate:
      return "Update";
  }
  return "?";
}

struct Field {
  const char* name;
  std::string value;
  bool number;
};

class Printer {
 public:
  Printer(bool json, uint32_t codePage) : json_(json), codePage_(codePage) {}

  // Package text in the terminal's encoding; the bytes as they are when they
  // are not text of the package's code page or are the program's own text.
  [[nodiscard]] std::string Shown(const char* text) const {
    const char* unknown = GetProcessTexts().unknown;
    if (unknown != nullptr && std::strcmp(text, unknown) == 0) return text;
    std::string converted;
    if (platform::CodePageToFileSystemName(text, codePage_, converted)) return converted;
    return text;
  }

  [[nodiscard]] std::string Quoted(const std::string& text) const {
    std::string out = "\"";
    for (unsigned char c : text) {
      if (c == '"' || c == '\\') {
        out += '\\';
        out += static_cast<char>(c);
      } else if (c < 0x20) {
        char escape[8];
        std::snprintf(escape, sizeof escape, "\\u%04x", c);
        out += escape;
      } else {
        out += static_cast<char>(c);
      }
    }
    return out + "\"";
  }

  bool json() const { return json_; }

 private:
  bool json_;
  uint32_t codePage_;
};

void PrintPackage(const Printer& p, const char* path, uint64_t size, RunContext& context) {
  const PackageCatalogue& catalogue = context.catalogue;
  const PatchSettings& s = context.settings;

  // Items.
  std::vector<std::vector<Field>> items;
  for (const PatchItem& item : catalogue) {
    const PackageEntry entry = item.entry();
    items.push_back({{"kind", KindName(item.kind), false},
                     {"name", p.Shown(item.name), false},
                     {"packed", std::to_string(entry.CompressedSize()), true},
                     {"size", std::to_string(entry.UncompressedSize()), true},
                     {"directory", item.IsDirectory() ? "true" : "false", true}});
  }
  std::vector<std::vector<Field>> controls;
  for (int slot = 0; slot < kControlEntryCount; ++slot) {
    const uint8_t* header = catalogue.controlEntries.slots[slot];
    if (header == nullptr) continue;
    const PackageEntry entry{nullptr, header};
    controls.push_back({{"name", kControlEntryNames[slot], false},
                        {"packed", std::to_string(entry.CompressedSize()), true},
                        {"size", std::to_string(entry.UncompressedSize()), true}});
  }
  const std::vector<Field> counts = {
      {"ItemCount", std::to_string(catalogue.ItemCount), true},
      {"UpdateItemCount", std::to_string(catalogue.UpdateItemCount), true},
      {"DelFilesCount", std::to_string(catalogue.DelFilesCount), true},
      {"DelDirsCount", std::to_string(catalogue.DelDirsCount), true},
      {"TotalSteps", std::to_string(catalogue.TotalSteps), true}};

  // The title as this machine builds it, from the texts shown.
  std::string title = p.Shown(s.Title.chars());
  if (const char* format = LookupText(kMsgTitleFormat); format != nullptr) {
    TextBuffer shownTitle;
    shownTitle.Format(format, p.Shown(s.ProductName.chars()).c_str(),
                      p.Shown(s.OldVersion.chars()).c_str(), p.Shown(s.NewVersion.chars()).c_str());
    title = shownTitle.chars();
  }
  auto text = [&p](const char* name, const TextBuffer& value) {
    return Field{name, p.Shown(value.chars()), false};
  };
  auto number = [](const char* name, int64_t value) {
    return Field{name, std::to_string(value), true};
  };
  const std::vector<Field> settings = {
      text("ProductName", s.ProductName),
      text("OldVersion", s.OldVersion),
      text("NewVersion", s.NewVersion),
      text("Web", s.Web),
      text("EMail", s.EMail),
      text("Copyright", s.Copyright),
      Field{"Title", title, false},
      number("ApplyToSrc", s.ApplyToSrc),
      number("SimulateApplying", s.SimulateApplying),
      number("SilentMode", s.SilentMode),
      number("ShowLicense", s.ShowLicense),
      number("ShowNotes", s.ShowNotes),
      number("ShowAppFolder", s.ShowAppFolder),
      number("ShowOptions", s.ShowOptions),
      number("ExecuteBackup", s.ExecuteBackup),
      number("WarningOnDel", s.WarningOnDel),
      number("WriteLog", s.WriteLog),
      number("OverwriteLog", s.OverwriteLog),
      number("ApplyUpdate", s.ApplyUpdate),
      number("SameFolder", s.SameFolder),
      text("SourceFolder", s.SourceFolder),
      text("DestinationFolder", s.DestinationFolder),
      text("BackupPath", s.BackupPath),
      text("LogFileName", s.LogFileName),
      number("LicenceTextLength", s.LicenceText.length()),
      number("NotesTextLength", s.NotesText.length()),
      number("DelFilesListLength", s.DelFilesList.present() ? int64_t{s.DelFilesList.length} : -1),
      number("DelDirsListLength", s.DelDirsList.present() ? int64_t{s.DelDirsList.length} : -1),
      Field{"Picture", s.Picture.IsLoaded() ? "true" : "false", true},
  };

  if (p.json()) {
    auto object = [&p](const std::vector<Field>& fields) {
      std::string out = "{";
      for (size_t i = 0; i < fields.size(); ++i) {
        if (i != 0) out += ", ";
        out += p.Quoted(fields[i].name) + ": " +
               (fields[i].number ? fields[i].value : p.Quoted(fields[i].value));
      }
      return out + "}";
    };
    auto array = [&object](const std::vector<std::vector<Field>>& rows) {
      std::string out = "[";
      for (size_t i = 0; i < rows.size(); ++i) out += (i != 0 ? ",\n    " : "\n    ") + object(rows[i]);
      return out + (rows.empty() ? "]" : "\n  ]");
    };
    std::printf("{\n  \"package\": %s,\n  \"size\": %" PRIu64 ",\n  \"items\": %s,\n",
                p.Quoted(path).c_str(), size, array(items).c_str());
    std::printf("  \"controlEntries\": %s,\n  \"counts\": %s,\n  \"settings\": %s\n}\n",
                array(controls).c_str(), object(counts).c_str(), object(settings).c_str());
    return;
  }

  std::printf("package %s, %" PRIu64 " bytes\n\nitems in processing order:\n", path, size);
  for (const auto& item : items) {
    std::printf("  %-7s %10s %10s  %s%s\n", item[0].value.c_str(), item[2].value.c_str(),
                item[3].value.c_str(), item[1].value.c_str(),
                item[4].value == "true" ? "  (folder)" : "");
  }
  std::printf("\ncontrol entries:\n");
  if (controls.empty()) std::printf("  none\n");
  for (const auto& control : controls) {
    std::printf("  %-12s %10s %10s\n", control[0].value.c_str(), control[1].value.c_str(),
                control[2].value.c_str());
  }
  std::printf("\ncounts:\n");
  for (const Field& field : counts) std::printf("  %-18s %s\n", field.name, field.value.c_str());
  std::printf("\nsettings on this machine:\n");
  for (const Field& field : settings) std::printf("  %-18s %s\n", field.name, field.value.c_str());
}

int RunInspect(std::span<char* const> arguments) {
  const char* path = nullptr;
  bool json = false;
  uint32_t codePage = 936;
  for (size_t i = 0; i < arguments.size(); ++i) {
    const char* argument = arguments[i];
    if (std::strcmp(argument, "--help") == 0 || std::strcmp(argument, "-h") == 0) {
      std::fputs(kHelp, stdout);
      return kExitSuccess;
    }
    if (std::strcmp(argument, "--json") == 0) {
      json = true;
    } else if (std::strcmp(argument, "--code-page") == 0 && i + 1 < arguments.size()) {
      char* end = nullptr;
      const unsigned long value = std::strtoul(arguments[++i], &end, 10);
      if (*end != 0 || value == 0 || value > 65535) {
        std::fprintf(stderr, "selfpatch-make inspect: %s is not a code page number\n",
                     arguments[i]);
        return kExitUsage;
      }
      codePage = static_cast<uint32_t>(value);
    } else if (argument[0] != '-' && path == nullptr) {
      path = argument;
    } else {
      std::fprintf(stderr, "selfpatch-make inspect: unexpected argument %s\n", argument);
      std::fprintf(stderr, "usage: selfpatch-make inspect PACKAGE [--json] [--code-page N]\n");
      return kExitUsage;
    }
  }
  if (path == nullptr) {
    std::fprintf(stderr, "usage: selfpatch-make inspect PACKAGE [--json] [--code-page N]\n");
    return kExitUsage;
  }

  InputFile package;
  std::string error;
  if (!package.Open(path, error)) {
    std::fprintf(stderr, "selfpatch-make inspect: %s\n", error.c_str());
    return kExitFailure;
  }
  const auto bytes = package.bytes();
  if (bytes.empty()) {
    const char* text = LookupText(kMsgEmptyPackageFile);
    std::fprintf(stderr, "%s: %s\n", path, text != nullptr ? text : "empty file");
    return kExitFailure;
  }
  if (bytes.size() > UINT32_MAX) {
    std::fprintf(stderr, "selfpatch-make inspect: %s is larger than 4 GiB\n", path);
    return kExitFailure;
  }
  RecordingHost host;
  RunContext context(host);
  // The log file is named after the program that carries the package.
  context.ModulePath.AssignText(path);
  if (!BuildCatalogue(context, bytes.data(), static_cast<uint32_t>(bytes.size()))) {
    if (host.texts.empty()) {
      std::fprintf(stderr, "%s: the archive holds no entries\n", path);
    }
    for (const std::string& text : host.texts) std::fprintf(stderr, "%s: %s\n", path, text.c_str());
    return kExitFailure;
  }
  PrintPackage(Printer(json, codePage), path, bytes.size(), context);
  return kExitSuccess;
}

constexpr ToolCommand kCommands[] = {
    {"inspect", "list a package's items, control entries, counts and settings", kHelp, RunInspect},
};

}  // namespace

std::span<const ToolCommand> InspectCommands() { return kCommands; }
