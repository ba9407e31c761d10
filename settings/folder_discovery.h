// Finding the installed application's folders from the `install` entry: a
// registry value, a value in another INI file, or a fixed path.
#pragma once

#include "base/text_buffer.h"

namespace platform {
class RegistryReader;
}

// Position of `section` in a list of section names (each NUL-terminated, the
// list ended by an empty name), compared ignoring case; -1 when absent.
[[nodiscard]] int SectionPosition(const char* sectionNames, const char* section);

// Reads RootKey, Key and Value of `section` in `iniFile` and the registry
// value they name. A REG_SZ or REG_EXPAND_SZ value that fits 4096 bytes with
// its terminator becomes `folder` (unexpanded, even when empty) and the
// answer is true; anything else leaves `folder` unchanged.
bool FolderFromRegistry(platform::RegistryReader& registry, const char* iniFile,
                        const char* section, TextBuffer& folder);

// Reads File, Section and Entry of `section` in `iniFile`; when all three are
// given, a non-empty value of Entry in that file becomes `folder`, expanded.
void FolderFromIniFile(const char* iniFile, const char* section, TextBuffer& folder);

// A non-empty Path of `section` becomes `folder`, expanded.
void FolderFromFixedPath(const char* iniFile, const char* section, TextBuffer& folder);

// Applies the three methods of `prefix` ("SRC_" or "DST_") to `folder`. A
// method runs while nothing is found; once a folder is known, a later method
// may replace it only when its section stands after the one that found it
// (by the positions in `sectionNames`; an absent section counts as first).
void FindFolder(platform::RegistryReader& registry, const char* iniFile, const char* sectionNames,
                const char* prefix, TextBuffer& folder);

// Sets `sourceFolder` and `destinationFolder`, normalised: the source from
// the SRC_ sections; the destination equal to it when `applyToSource`, else
// from the DST_ sections, taken inside the source folder when it has no root.
void DiscoverFolders(platform::RegistryReader& registry, const char* iniFile,
                     const char* sectionNames, bool applyToSource, TextBuffer& sourceFolder,
                     TextBuffer& destinationFolder);
