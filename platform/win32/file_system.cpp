// Paths on disk on Windows: the attribute, directory, deletion, move and copy
// calls of the kernel, and FindFirstFileA for listing a directory.
#include "platform/file_system.h"

#include <cstring>
#include <string>

#include <windows.h>

namespace platform {

bool ReadAttributes(const char* path, uint32_t* attributes) {
  const DWORD word = GetFileAttributesA(path);
  if (word == INVALID_FILE_ATTRIBUTES) return false;
  if (attributes != nullptr) *attributes = word;
  return true;
}

bool WriteAttributes(const char* path, uint32_t attributes) {
  return SetFileAttributesA(path, attributes == 0 ? FILE_ATTRIBUTE_NORMAL : attributes) != FALSE;
}

bool CreateOneDirectory(const char* path) { return CreateDirectoryA(path, nullptr) != FALSE; }

bool RemoveEmptyDirectory(const char* path) { return RemoveDirectoryA(path) != FALSE; }

bool DeleteOneFile(const char* path) { return DeleteFileA(path) != FALSE; }

bool MoveFileReplacing(const char* from, const char* to) {
  if (IsLegacyWindows()) {
    // No MoveFileExA there: copy over the destination, then delete the source.
    if (CopyFileA(from, to, FALSE) == FALSE) return false;
    return DeleteFileA(from) != FALSE;
  }
  return MoveFileExA(from, to, MOVEFILE_REPLACE_EXISTING | MOVEFILE_COPY_ALLOWED) != FALSE;
}

bool CopyFileOver(const char* from, const char* to) { return CopyFileA(from, to, FALSE) != FALSE; }

DirectoryContent ProbeDirectory(const char* path) {
  std::string pattern(path);
  if (pattern.empty() || (pattern.back() != '\\' && pattern.back() != '/')) pattern += '\\';
  pattern += '*';
  WIN32_FIND_DATAA data;
  HANDLE find = FindFirstFileA(pattern.c_str(), &data);
  if (find == INVALID_HANDLE_VALUE) return DirectoryContent::kCannotList;
  DirectoryContent content = DirectoryContent::kEmpty;
  do {
    if (std::strcmp(data.cFileName, ".") != 0 && std::strcmp(data.cFileName, "..") != 0) {
      content = DirectoryContent::kHasEntries;
      break;
    }
  } while (FindNextFileA(find, &data) != FALSE);
  FindClose(find);
  return content;
}

bool IsLegacyWindows() { return (GetVersion() & 0x80000000u) != 0; }

}  // namespace platform
