// SPDX-License-Identifier: MIT
// Opening, reading and saving the files the tool's commands work on.
#include "cli/ImageFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <new>

namespace cli {
namespace {

// OpenFromMemory takes a 32-bit size.
constexpr int64_t kMaxFileBytes = INT32_MAX;
constexpr size_t kReadChunk = size_t{1} << 16;

// Closes a file descriptor when it goes out of scope.
class Descriptor {
 public:
  explicit Descriptor(int fd) : fd_(fd) {}
  ~Descriptor() {
    if (fd_ >= 0) close(fd_);
  }
  Descriptor(const Descriptor&) = delete;
  Descriptor& operator=(const Descriptor&) = delete;
  int get() const { return fd_; }

 private:
  int fd_;
};

std::string ReadFailureReason(int error) {
  if (error == ENOENT || error == ENOTDIR) return "no such file";
  if (error == EACCES) return "permission denied";
  if (error == EISDIR) return "is a directory";
  return std::strerror(error);
}

// Reads what is left of `fd` (about `expected` bytes) into `bytes`; false with a reason on a
// read error, a file too large for the library or exhausted memory.
bool ReadToEnd(int fd, int64_t expected, std::vector<uint8_t>* bytes, std::string* reason) {
  try {
    bytes->clear();
    bytes->reserve(static_cast<size_t>(expected) + kReadChunk);
    while (true) {
      const size_t used = bytes->size();
      bytes->resize(used + kReadChunk);
      const ssize_t got = read(fd, bytes->data() + used, kReadChunk);
      bytes->resize(used + static_cast<size_t>(got > 0 ? got : 0));
      if (got == 0) return true;
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) {
        *reason = ReadFailureReason(errno);
        return false;
      }
      if (static_cast<int64_t>(bytes->size()) > kMaxFileBytes) {
        *reason = "too large to read (2 GiB or more)";
        return false;
      }
    }
  } catch (const std::bad_alloc&) {
    *reason = "not enough memory to read it";
    return false;
  }
}

}  // namespace

ImagePtr OpenImage(const std::string& file, bool headerOnly, std::string* reason) {
  ImagePtr image = NewImage();
  if (image && image->Open(Wide(file).c_str(), headerOnly ? 1 : 0)) return image;
  *reason = OpenFailureReason(file);
  return ImagePtr();
}

ImagePtr OpenImageOrReport(const std::string& file, bool headerOnly) {
  std::string reason;
  ImagePtr image = OpenImage(file, headerOnly, &reason);
  if (!image) ReportFailure(file, reason);
  return image;
}

bool ReadFileBytes(const std::string& path, std::vector<uint8_t>* bytes, std::string* reason) {
  const Descriptor file(open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (file.get() < 0) {
    *reason = ReadFailureReason(errno);
    return false;
  }
  struct stat st {};
  if (fstat(file.get(), &st) != 0) {
    *reason = ReadFailureReason(errno);
    return false;
  }
  if (S_ISDIR(st.st_mode)) {
    *reason = ReadFailureReason(EISDIR);
    return false;
  }
  if (st.st_size > kMaxFileBytes) {
    *reason = "too large to read (2 GiB or more)";
    return false;
  }
  return ReadToEnd(file.get(), st.st_size, bytes, reason);
}

bool ChangeFile(const std::string& file, const SaveFlags& flags, const ChangeFunction& change) {
  ImagePtr image = OpenImageOrReport(file);
  if (!image) return false;
  TesselSaveOptions options = MakeSaveOptions(flags);
  switch (change(*image, options)) {
    case Change::kFailed:
      return false;
    case Change::kUnchanged:
      if (flags.output.empty()) return true;
      break;
    case Change::kSave:
      break;
  }
  return SaveImageWith(image.get(), file, flags, options);
}

}  // namespace cli
