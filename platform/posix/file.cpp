// Open files on Linux: descriptors, with errno as the last error.
#include "platform/file.h"

#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/posix/native_path.h"

namespace platform {

File File::OpenForReading(const char* path) {
  // Linux has no share modes; writers elsewhere are not kept out.
  const int fd = ::open(NativePath(path).c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return File();
  File file(fd);
  // Windows refuses to open a directory as a file; so do we.
  struct stat info;
  if (::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
    file.Close();
    errno = EISDIR;
  }
  return file;
}

File File::CreateForWriting(const char* path) {
  // A directory fails here already (EISDIR).
  const int fd = ::open(NativePath(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
  return fd < 0 ? File() : File(fd);
}

uint64_t File::Size() const {
  struct stat info;
  if (::fstat(static_cast<int>(handle_), &info) != 0) return 0;
  return static_cast<uint64_t>(info.st_size);
}

bool File::Write(const void* data, uint32_t count, uint32_t* written) {
  // write() may stop short of the count; go on until everything is written or
  // the system reports an error, as a Windows write to a file does.
  const auto* bytes = static_cast<const uint8_t*>(data);
  uint32_t done = 0;
  bool ok = true;
  while (done < count) {
    const ssize_t result = ::write(static_cast<int>(handle_), bytes + done, count - done);
    if (result < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    if (result == 0) {
      errno = EIO;
      ok = false;
      break;
    }
    done += static_cast<uint32_t>(result);
  }
  if (written != nullptr) *written = done;
  return ok;
}

void File::Close() {
  if (handle_ != kInvalid) {
    // Keep the caller's last error: closing is not the operation that failed.
    const int saved = errno;
    ::close(static_cast<int>(handle_));
    errno = saved;
    handle_ = kInvalid;
  }
}

}  // namespace platform
