// SPDX-License-Identifier: MIT
// A file written beside its target and then put in its place, so that the target is never
// left incomplete: the new content goes to the target's path with ".tmp" appended, is flushed
// to the disk and renamed over the target in one atomic step.
#pragma once

#include <sys/types.h>

#include <cstdio>
#include <string>

#include "platform/Files.h"

class SafeFile {
 public:
  // `target` is the UTF-8 path to replace or create. A symbolic link is followed, so the file
  // it names is replaced and the link stays.
  explicit SafeFile(std::string target);
  // Removes the temporary file unless Commit succeeded.
  ~SafeFile();
  SafeFile(const SafeFile&) = delete;
  SafeFile& operator=(const SafeFile&) = delete;

  // Creates the temporary file (a stale regular file or link of that name is replaced; a
  // directory is not touched) and opens it for writing. An existing target is private to the
  // owner until Commit gives it its final permissions; a new path gets 0666 less the umask.
  bool Create();
  // The stream to write the new content to, after Create.
  FILE* Stream() const { return stream_; }
  // Flushes and syncs the content, gives it the old target's owner and permission bits (read-
  // only stays read-only, private stays private) and, when `times` is given, its last-access
  // and last-write times (zero times are left alone), then renames it over the target and
  // syncs the directory. Any failure up to and including the rename removes the temporary file
  // and leaves the target untouched. Owner, permissions and times are applied as far as the
  // file system allows; only the content and the rename decide the result.
  bool Commit(const FileTimes* times);

 private:
  bool Fail();
  void ApplyAttributes(const FileTimes* times);
  void CloseAndRemove();

  std::string target_;      // the path that is replaced (symbolic links resolved)
  std::string temporary_;   // target_ + ".tmp"
  FILE* stream_ = nullptr;  // the open temporary file
  bool created_ = false;    // the temporary file exists and is ours to remove
  bool targetExists_ = false;
  mode_t mode_ = 0;  // the old target's permission bits
  uid_t owner_ = 0;  // the old target's owner
  gid_t group_ = 0;  // the old target's group
  int error_ = 0;    // the errno of the first failure, 0 when none
};
