// Paths handed to Linux system calls: the core joins paths with '\'.
#pragma once

#include <string>

namespace platform {

// `path` with every '\' turned into '/'.
[[nodiscard]] inline std::string NativePath(const char* path) {
  std::string result(path != nullptr ? path : "");
  for (char& c : result) {
    if (c == '\\') c = '/';
  }
  return result;
}

}  // namespace platform
