// Listing directories on Windows with the A functions.
#include "platform/directory_list.h"

#include <windows.h>

#include <cstring>

namespace platform {

bool ListDirectory(const char* path, std::vector<DirectoryEntry>& entries) {
  entries.clear();
  std::string pattern = path;
  if (!pattern.empty() && pattern.back() != '\\' && pattern.back() != '/') pattern += '\\';
  pattern += '*';
  WIN32_FIND_DATAA data;
  HANDLE search = FindFirstFileA(pattern.c_str(), &data);
  if (search == INVALID_HANDLE_VALUE) return false;
  do {
    if (std::strcmp(data.cFileName, ".") == 0 || std::strcmp(data.cFileName, "..") == 0) continue;
    entries.push_back({data.cFileName, (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0});
  } while (FindNextFileA(search, &data));
  const DWORD failure = GetLastError();
  FindClose(search);
  SetLastError(failure);
  return failure == ERROR_NO_MORE_FILES;
}

}  // namespace platform
