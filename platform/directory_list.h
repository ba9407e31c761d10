// Listing the entries of one directory.
#pragma once

#include <string>
#include <vector>

namespace platform {

struct DirectoryEntry {
  std::string name;  // in the file system's code page (ANSI on Windows)
  bool directory = false;
};

// The entries of `path` other than "." and "..", in no particular order
// (FindFirstFileA / FindNextFileA on Windows). False, with the last error
// set, when the directory cannot be listed.
[[nodiscard]] bool ListDirectory(const char* path, std::vector<DirectoryEntry>& entries);

}  // namespace platform
