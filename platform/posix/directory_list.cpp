// Listing directories on Linux.
#include "platform/directory_list.h"

#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <sys/stat.h>

#include "platform/posix/native_path.h"

namespace platform {

bool ListDirectory(const char* path, std::vector<DirectoryEntry>& entries) {
  entries.clear();
  const std::string folder = NativePath(path);
  DIR* directory = ::opendir(folder.c_str());
  if (directory == nullptr) return false;
  errno = 0;
  while (const dirent* entry = ::readdir(directory)) {
    if (std::strcmp(entry->d_name, ".") == 0 || std::strcmp(entry->d_name, "..") == 0) continue;
    DirectoryEntry item;
    item.name = entry->d_name;
    // Links are followed, as Windows follows them for files and folders.
    struct stat info;
    const std::string full = folder + "/" + item.name;
    item.directory = ::stat(full.c_str(), &info) == 0 && S_ISDIR(info.st_mode);
    entries.push_back(std::move(item));
    errno = 0;
  }
  const int failure = errno;
  ::closedir(directory);
  errno = failure;
  return failure == 0;
}

}  // namespace platform
