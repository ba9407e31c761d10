// Temporary files on Linux: names of the system's shape in TMPDIR or /tmp.
#include "platform/temp_file.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/file.h"
#include "platform/posix/native_path.h"

namespace platform {

uint32_t TempFolderPath(char* out, uint32_t capacity) {
  std::string folder;
  const char* variable = std::getenv("TMPDIR");
  folder = (variable != nullptr && *variable != 0) ? variable : "/tmp";
  struct stat info;
  if (::stat(folder.c_str(), &info) != 0 || !S_ISDIR(info.st_mode)) {
    errno = ENOENT;
    return 0;
  }
  if (folder.back() != '/') folder += '/';
  if (folder.size() + 1 > capacity) {
    errno = ENAMETOOLONG;
    return 0;
  }
  std::memcpy(out, folder.c_str(), folder.size() + 1);
  return static_cast<uint32_t>(folder.size());
}

bool CreateUniqueTempName(const char* folder, const char* prefix, char* out) {
  std::string base = NativePath(folder);
  if (base.empty()) base.push_back('.');
  if (base.back() != '/') base += '/';
  // The system takes at most three characters of the prefix.
  base.append(prefix, strnlen(prefix, 3));
  // Start somewhere that differs between processes and calls, then try every
  // four-digit number once, as the system does.
  static std::atomic<unsigned> counter{0};
  const unsigned start = static_cast<unsigned>(::getpid()) * 31u +
                         static_cast<unsigned>(std::time(nullptr)) + counter++;
  for (unsigned attempt = 0; attempt < 0x10000; ++attempt) {
    const unsigned number = (start + attempt) & 0xFFFF;
    if (number == 0) continue;
    char digits[16];
    std::snprintf(digits, sizeof digits, "%04X.tmp", number);
    const std::string name = base + digits;
    if (name.size() + 1 > kTempNameSize) {
      errno = ENAMETOOLONG;
      return false;
    }
    const int fd = ::open(name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      ::close(fd);
      std::memcpy(out, name.c_str(), name.size() + 1);
      return true;
    }
    if (errno != EEXIST) return false;
  }
  errno = EEXIST;
  return false;
}

File File::CreateHiddenTemporary(const char* path) {
  // Linux has no hidden attribute and no share modes.
  const int fd = ::open(NativePath(path).c_str(), O_RDWR | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  return fd < 0 ? File() : File(fd);
}

}  // namespace platform
