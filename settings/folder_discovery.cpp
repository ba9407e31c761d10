// Folder discovery from the registry, another INI file or a fixed path.
#include "settings/folder_discovery.h"

#include <cstdint>
#include <cstring>

#include "platform/ini_file.h"
#include "platform/registry.h"
#include "settings/patch_settings.h"

namespace {

// The three values of a registry or INI-file section, read one after another
// into one area: each read gets the room the earlier ones left, so together
// with their terminators they fit kSettingTextSize bytes.
struct SectionValues {
  char area[kSettingTextSize];
  const char* values[3] = {};

  // Reads keys[0..2] in order; false at the first empty one.
  bool Read(const char* iniFile, const char* section, const char* const (&keys)[3]) {
    uint32_t used = 0;
    for (int i = 0; i < 3; ++i) {
      char* slot = area + used;
      const uint32_t room = kSettingTextSize - used;
      const uint32_t length = platform::ReadIniText(iniFile, section, keys[i], "", slot, room);
      if (length == 0) return false;
      values[i] = slot;
      used += length + 1;
    }
    return true;
  }
};

struct RootName {
  const char* name;
  uint32_t key;
};
constexpr RootName kRootNames[] = {
    {"HKEY_CLASSES_ROOT", platform::kHkeyClassesRoot},
    {"HKEY_CURRENT_USER", platform::kHkeyCurrentUser},
    {"HKEY_LOCAL_MACHINE", platform::kHkeyLocalMachine},
    {"HKEY_USERS", platform::kHkeyUsers},
};

}  // namespace

int SectionPosition(const char* sectionNames, const char* section) {
  int position = 0;
  for (const char* name = sectionNames; *name != 0; name += std::strlen(name) + 1, ++position) {
    if (CompareNoCase(name, section) == 0) return position;
  }
  return -1;
}

bool FolderFromRegistry(platform::RegistryReader& registry, const char* iniFile,
                        const char* section, TextBuffer& folder) {
  SectionValues read;
  static constexpr const char* kKeys[3] = {"RootKey", "Key", "Value"};
  if (!read.Read(iniFile, section, kKeys)) return false;
  const RootName* root = nullptr;
  for (const RootName& candidate : kRootNames) {
    if (CompareNoCase(read.values[0], candidate.name) == 0) {
      root = &candidate;
      break;
    }
  }
  if (root == nullptr) return false;

  uint8_t data[kSettingTextSize];
  uint32_t type = 0;
  uint32_t size = 0;
  if (!registry.QueryValue(root->key, read.values[1], read.values[2], data, sizeof data, &type, &size)) return false;
  if (type != platform::kRegSz && type != platform::kRegExpandSz) return false;
  // A text stored without its terminator ends where the data ends; one that
  // fills the whole area leaves no room for the terminator and is too long.
  if (size > sizeof data) return false;
  const size_t length = strnlen(reinterpret_cast<const char*>(data), size);
  if (length >= sizeof data) return false;
  folder.AssignRange(reinterpret_cast<const char*>(data), static_cast<int32_t>(length));
  return true;
}

void FolderFromIniFile(const char* iniFile, const char* section, TextBuffer& folder) {
  SectionValues read;
  static constexpr const char* kKeys[3] = {"File", "Section", "Entry"};
  if (!read.Read(iniFile, section, kKeys)) return;
  ReadSettingText(read.values[0], read.values[1], read.values[2], folder);
}

void FolderFromFixedPath(const char* iniFile, const char* section, TextBuffer& folder) {
  ReadSettingText(iniFile, section, "Path", folder);
}

void FindFolder(platform::RegistryReader& registry, const char* iniFile, const char* sectionNames,
                const char* prefix, TextBuffer& folder) {
  TextBuffer registrySection = TextBuffer::Concat(TextBuffer(prefix), "REGISTRY");
  TextBuffer iniFileSection = TextBuffer::Concat(TextBuffer(prefix), "INIFILE");
  TextBuffer fixedPathSection = TextBuffer::Concat(TextBuffer(prefix), "FIXPATH");
  const int r = SectionPosition(sectionNames, registrySection.chars());
  const int i = SectionPosition(sectionNames, iniFileSection.chars());
  const int f = SectionPosition(sectionNames, fixedPathSection.chars());

  if (r >= 0) FolderFromRegistry(registry, iniFile, registrySection.chars(), folder);
  if (i >= 0 && (folder.empty() || r < i)) FolderFromIniFile(iniFile, iniFileSection.chars(), folder);
  if (f >= 0 && (folder.empty() || r < f || i < f)) {
    FolderFromFixedPath(iniFile, fixedPathSection.chars(), folder);
  }
}

void DiscoverFolders(platform::RegistryReader& registry, const char* iniFile,
                     const char* sectionNames, bool applyToSource, TextBuffer& sourceFolder,
                     TextBuffer& destinationFolder) {
  FindFolder(registry, iniFile, sectionNames, "SRC_", sourceFolder);
  sourceFolder.NormaliseFolder();
  if (applyToSource) {
    destinationFolder = sourceFolder;
    return;
  }
  FindFolder(registry, iniFile, sectionNames, "DST_", destinationFolder);
  destinationFolder.ExpandEnvironment();
  ResolveAgainst(sourceFolder, destinationFolder);
  destinationFolder.NormaliseFolder();
}
