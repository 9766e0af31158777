// SPDX-License-Identifier: MIT
// Linux implementation of the safe replacement of a file: temporary file, fsync, rename.
#include "platform/SafeFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

namespace {

constexpr mode_t kPermissionBits = 0777;

// The directory part of a path ("." for a bare name).
std::string DirectoryOf(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// A symbolic link is replaced through: the file it names gets the new content.
std::string ResolveLink(const std::string& path) {
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
  char* real = realpath(path.c_str(), nullptr);
  if (real == nullptr) return path;
  std::string resolved(real);
  std::free(real);
  return resolved;
}

// Opens a new file exclusively, without following a link at its name.
int CreateExclusive(const std::string& path, mode_t mode) {
  return open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode);
}

// A timespec for futimens: a zero time is left as it is.
timespec ToTimespec(const FileTime& time) {
  if (time.IsZero()) return timespec{0, UTIME_OMIT};
  return timespec{static_cast<time_t>(time.seconds), static_cast<long>(time.nanoseconds)};
}

}  // namespace

SafeFile::SafeFile(std::string target) : target_(ResolveLink(target)) {
  temporary_ = target_ + ".tmp";
}

SafeFile::~SafeFile() {
  const int saved = errno;
  CloseAndRemove();
  errno = saved;
}

bool SafeFile::Fail() {
  if (error_ == 0) error_ = errno != 0 ? errno : EIO;
  CloseAndRemove();
  errno = error_;
  return false;
}

void SafeFile::CloseAndRemove() {
  if (stream_ != nullptr) {
    std::fclose(stream_);
    stream_ = nullptr;
  }
  if (created_) {
    unlink(temporary_.c_str());
    created_ = false;
  }
}

bool SafeFile::Create() {
  struct stat st {};
  if (stat(target_.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) {
      errno = EISDIR;
      return Fail();
    }
    targetExists_ = true;
    mode_ = st.st_mode & kPermissionBits;
    owner_ = st.st_uid;
    group_ = st.st_gid;
  }
  // Until its final permissions are set, a file replacing an existing one is readable by its
  // owner only, so a private target's new content is never exposed.
  const mode_t mode = targetExists_ ? S_IRUSR | S_IWUSR : 0666;
  int fd = CreateExclusive(temporary_, mode);
  if (fd < 0 && errno == EEXIST) {
    // A temporary file left by an interrupted save; a directory of that name is not ours.
    struct stat old {};
    if (lstat(temporary_.c_str(), &old) == 0 && S_ISDIR(old.st_mode)) {
      errno = EISDIR;
      return Fail();
    }
    if (unlink(temporary_.c_str()) != 0) return Fail();
    fd = CreateExclusive(temporary_, mode);
  }
  if (fd < 0) return Fail();
  created_ = true;
  stream_ = fdopen(fd, "wb");
  if (stream_ == nullptr) {
    const int saved = errno;
    close(fd);
    errno = saved;
    return Fail();
  }
  return true;
}

void SafeFile::ApplyAttributes(const FileTimes* times) {
  const int fd = fileno(stream_);
  if (targetExists_) {
    // Best effort: only the owner (or root) may change these, and some file systems keep none.
    // Ownership first, since changing it may clear permission bits.
    if (fchown(fd, owner_, group_) != 0) {
      // Not the owner's to give away: the file stays ours, with the target's permission bits.
    }
    if (fchmod(fd, mode_) != 0) {
      // A file system without permission bits: nothing to keep.
    }
  }
  if (times != nullptr) {
    const timespec both[2] = {ToTimespec(times->lastAccess), ToTimespec(times->lastWrite)};
    if (futimens(fd, both) != 0) {
      // A file system without settable times: the content is what counts.
    }
  }
}

bool SafeFile::Commit(const FileTimes* times) {
  if (stream_ == nullptr) {
    errno = EBADF;
    return Fail();
  }
  if (std::fflush(stream_) != 0 || std::ferror(stream_)) return Fail();
  ApplyAttributes(times);
  if (fsync(fileno(stream_)) != 0) return Fail();
  FILE* stream = stream_;
  stream_ = nullptr;
  if (std::fclose(stream) != 0) return Fail();
  if (rename(temporary_.c_str(), target_.c_str()) != 0) return Fail();
  created_ = false;
  // The rename is durable once the directory is synced; the new content is in place either way.
  const int dir = open(DirectoryOf(target_).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    fsync(dir);
    close(dir);
  }
  return true;
}
