// SPDX-License-Identifier: MIT
// How the module turns a failed library call into one Python exception with its reason.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

#include "tessel/tessel.h"

namespace pytessel {

// What failed, for the choice of exception class: a failed save raises SaveError whatever the
// library's code, everything else raises the class of its code.
enum class Operation { kOther, kSave };

// A failure on its way to Python. It carries no Python object, so it can be thrown while the
// GIL is released; the translator registered by the module turns it into a tessel.Error.
class Failure : public std::runtime_error {
 public:
  Failure(int32_t code, std::string reason, Operation operation = Operation::kOther)
      : std::runtime_error(reason),
        code_(code),
        reason_(std::move(reason)),
        operation_(operation) {}

  Failure& WithFile(std::u16string file) {
    file_ = std::move(file);
    return *this;
  }
  Failure& WithErrno(int error) {
    errno_ = error;
    return *this;
  }

  int32_t code() const { return code_; }
  const std::string& reason() const { return reason_; }
  Operation operation() const { return operation_; }
  const std::optional<std::u16string>& file() const { return file_; }
  int error_number() const { return errno_; }

 private:
  int32_t code_;                        // TSL_ERROR_*
  std::string reason_;                  // one line of UTF-8
  Operation operation_;                 // what was being done
  std::optional<std::u16string> file_;  // the file it concerns, when there is one
  int errno_ = 0;                       // the file system's reason, 0 when it had none
};

// The code and reason of the last failure on an image object. The object keeps them until
// another failure replaces them, so a probe takes them before a call: after the call fails, a
// recorded failure that differs from the one before is this call's, and an unchanged one means
// the call gave no reason of its own.
class ErrorProbe {
 public:
  explicit ErrorProbe(ITesselEx* ex);

  // The failure the call after the probe recorded; nullopt when it recorded none.
  std::optional<Failure> Recorded() const;

  // The recorded failure, or one made of `code` and `reason` when the call gave none.
  Failure Or(int32_t code, std::string reason, Operation operation = Operation::kOther) const;

 private:
  ITesselEx* ex_;
  int32_t code_;
  std::string text_;
};

// Why a save failed, from the errno the library leaves: "no such directory", "permission
// denied", ...; "could not save" when errno is 0.
std::string SaveFailureReason(int error);

// Why a file could not be opened, from the file system: "no such file", "permission denied",
// "is a directory"; nullopt when the file is there and readable (its bytes are the problem).
// Sets `error` to the errno of the reason.
std::optional<std::string> FileProblem(const std::string& path, int* error);

}  // namespace pytessel
