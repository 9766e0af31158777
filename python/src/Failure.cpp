// SPDX-License-Identifier: MIT
// Failure reasons: the library's record of the last failure, the file system's errno.
#include "python/src/Failure.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace pytessel {

ErrorProbe::ErrorProbe(ITesselEx* ex)
    : ex_(ex), code_(ex->GetLastError()), text_(ex->GetLastErrorText()) {}

std::optional<Failure> ErrorProbe::Recorded() const {
  const int32_t code = ex_->GetLastError();
  const char* text = ex_->GetLastErrorText();
  if (code == TSL_ERROR_NONE || (code == code_ && text_ == text)) return std::nullopt;
  return Failure(code, text);
}

Failure ErrorProbe::Or(int32_t code, std::string reason, Operation operation) const {
  if (std::optional<Failure> recorded = Recorded()) {
    return Failure(recorded->code(), recorded->reason(), operation);
  }
  return Failure(code, std::move(reason), operation);
}

std::string SaveFailureReason(int error) {
  switch (error) {
    case 0:
      return "could not save";
    case ENOENT:
    case ENOTDIR:
      return "could not save (no such directory)";
    case EACCES:
    case EPERM:
      return "could not save (permission denied)";
    case EISDIR:
      return "could not save (a directory is in the way)";
    case ENOSPC:
      return "could not save (no space left on device)";
    case EROFS:
      return "could not save (read-only file system)";
    default:
      return std::string("could not save (") + std::strerror(error) + ")";
  }
}

std::optional<std::string> FileProblem(const std::string& path, int* error) {
  struct stat st {};
  if (stat(path.c_str(), &st) != 0) {
    *error = errno;
    if (errno == ENOENT || errno == ENOTDIR) return "no such file";
    if (errno == EACCES) return "permission denied";
    return std::strerror(errno);
  }
  if (S_ISDIR(st.st_mode)) {
    *error = EISDIR;
    return "is a directory";
  }
  if (access(path.c_str(), R_OK) != 0) {
    *error = EACCES;
    return "permission denied";
  }
  *error = 0;
  return std::nullopt;
}

}  // namespace pytessel
