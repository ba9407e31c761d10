// Paths on disk for the native build: stat, chmod, mkdir, rmdir, unlink,
// rename, and copies made beside their target and renamed over it.
#include "platform/file_system.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/posix/native_path.h"

namespace platform {

namespace {

// The folder part of a native path, "." when it has none.
std::string FolderOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

bool WriteAll(int fd, const char* data, size_t count) {
  while (count > 0) {
    const ssize_t done = ::write(fd, data, count);
    if (done < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    if (done == 0) {
      errno = EIO;
      return false;
    }
    data += done;
    count -= static_cast<size_t>(done);
  }
  return true;
}

// Copies the regular file `from` into a new file beside `to` and renames it
// over `to`, so that `to` is either the old file or the whole copy.
bool CopyBesideAndRename(const std::string& from, const std::string& to) {
  const int source = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
  if (source < 0) return false;
  struct stat info;
  if (::fstat(source, &info) != 0 || S_ISDIR(info.st_mode)) {
    const int error = S_ISDIR(info.st_mode) ? EISDIR : errno;
    ::close(source);
    errno = error;
    return false;
  }
  std::string temporary = FolderOf(to) + "/.sfpcopyXXXXXX";
  const int target = ::mkostemp(temporary.data(), O_CLOEXEC);
  if (target < 0) {
    const int error = errno;
    ::close(source);
    errno = error;
    return false;
  }
  bool ok = true;
  static constexpr size_t kChunk = 1 << 16;
  std::unique_ptr<char[]> buffer(new char[kChunk]);
  for (;;) {
    const ssize_t got = ::read(source, buffer.get(), kChunk);
    if (got < 0) {
      if (errno == EINTR) continue;
      ok = false;
      break;
    }
    if (got == 0) break;
    if (!WriteAll(target, buffer.get(), static_cast<size_t>(got))) {
      ok = false;
      break;
    }
  }
  if (ok) {
    const struct timespec times[2] = {info.st_atim, info.st_mtim};
    ok = ::fchmod(target, info.st_mode & 07777) == 0 && ::futimens(target, times) == 0;
  }
  int error = errno;
  if (::close(target) != 0 && ok) {
    ok = false;
    error = errno;
  }
  ::close(source);
  if (ok && ::rename(temporary.c_str(), to.c_str()) != 0) {
    ok = false;
    error = errno;
  }
  if (!ok) {
    ::unlink(temporary.c_str());
    errno = error;
  }
  return ok;
}

}  // namespace

bool ReadAttributes(const char* path, uint32_t* attributes) {
  const std::string native = NativePath(path);
  struct stat info;
  if (::stat(native.c_str(), &info) != 0 && ::lstat(native.c_str(), &info) != 0) return false;
  uint32_t word = kAttributeNormal;
  if (S_ISDIR(info.st_mode)) {
    word = kAttributeDirectory;
  } else if ((info.st_mode & S_IWUSR) == 0) {
    word = kAttributeReadOnly;
  }
  if (attributes != nullptr) *attributes = word;
  return true;
}

bool WriteAttributes(const char* path, uint32_t attributes) {
  const std::string native = NativePath(path);
  struct stat info;
  if (::stat(native.c_str(), &info) != 0) return false;
  // Directories carry no read-only bit here; their permissions stay.
  if (S_ISDIR(info.st_mode)) return true;
  mode_t mode = info.st_mode & 07777;
  if ((attributes & kAttributeReadOnly) != 0) {
    mode &= ~static_cast<mode_t>(S_IWUSR | S_IWGRP | S_IWOTH);
  } else {
    mode |= S_IWUSR;
  }
  if (mode == (info.st_mode & 07777)) return true;
  return ::chmod(native.c_str(), mode) == 0;
}

bool CreateOneDirectory(const char* path) { return ::mkdir(NativePath(path).c_str(), 0777) == 0; }

bool RemoveEmptyDirectory(const char* path) { return ::rmdir(NativePath(path).c_str()) == 0; }

bool DeleteOneFile(const char* path) {
  const std::string native = NativePath(path);
  struct stat info;
  if (::lstat(native.c_str(), &info) == 0 && S_ISDIR(info.st_mode)) {
    // unlink() would say EISDIR or EPERM depending on the file system.
    errno = EISDIR;
    return false;
  }
  return ::unlink(native.c_str()) == 0;
}

bool MoveFileReplacing(const char* from, const char* to) {
  const std::string source = NativePath(from);
  const std::string target = NativePath(to);
  if (::rename(source.c_str(), target.c_str()) == 0) return true;
  if (errno != EXDEV) return false;
  if (!CopyBesideAndRename(source, target)) return false;
  return ::unlink(source.c_str()) == 0;
}

bool CopyFileOver(const char* from, const char* to) {
  return CopyBesideAndRename(NativePath(from), NativePath(to));
}

DirectoryContent ProbeDirectory(const char* path) {
  DIR* directory = ::opendir(NativePath(path).c_str());
  if (directory == nullptr) return DirectoryContent::kCannotList;
  DirectoryContent content = DirectoryContent::kEmpty;
  while (const dirent* entry = ::readdir(directory)) {
    const char* name = entry->d_name;
    const bool dots = name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0));
    if (!dots) {
      content = DirectoryContent::kHasEntries;
      break;
    }
  }
  ::closedir(directory);
  return content;
}

bool IsLegacyWindows() { return false; }

}  // namespace platform
