// The shared and appending opens of files on Linux. Linux has no share modes:
// other processes are never kept out.
#include "platform/file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/posix/native_path.h"

namespace platform {

namespace {

// Windows refuses to open a directory as a file; so do we.
bool IsDirectoryDescriptor(int fd) {
  struct stat info;
  return ::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode);
}

}  // namespace

File File::OpenSharingAll(const char* path, bool forWriting) {
  const int fd = ::open(NativePath(path).c_str(), (forWriting ? O_RDWR : O_RDONLY) | O_CLOEXEC);
  if (fd < 0) return File();
  File file(fd);
  if (IsDirectoryDescriptor(fd)) {
    file.Close();
    errno = EISDIR;
  }
  return file;
}

File File::OpenForAppending(const char* path, bool truncate) {
  const int flags = O_RDWR | O_CREAT | O_CLOEXEC | (truncate ? O_TRUNC : 0);
  const int fd = ::open(NativePath(path).c_str(), flags, 0666);
  if (fd < 0) return File();
  File file(fd);
  if (::lseek(fd, 0, SEEK_END) < 0) file.Close();
  return file;
}

}  // namespace platform
