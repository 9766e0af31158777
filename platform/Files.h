// SPDX-License-Identifier: MIT
// File access by UTF-16 path and the file times the image object captures at open.
#pragma once

#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>

#include "platform/DateRecord.h"

// One file time: seconds and nanoseconds since 1970-01-01 UTC. All zero means "unknown".
struct FileTime {
  int64_t seconds = 0;
  int64_t nanoseconds = 0;
  bool IsZero() const { return seconds == 0 && nanoseconds == 0; }
  bool operator==(const FileTime&) const = default;
};

// The three times captured by Open: creation (birth time where the file system keeps it, else
// zero), last access and last write.
struct FileTimes {
  FileTime creation;
  FileTime lastAccess;
  FileTime lastWrite;
  bool operator==(const FileTimes&) const = default;
};

// UTF-16 to UTF-8. Fails (nullopt) for a null pointer or an unpaired surrogate.
std::optional<std::string> Utf16ToUtf8(const char16_t* text);

// UTF-8 to UTF-16; malformed bytes become U+FFFD.
std::u16string Utf8ToUtf16(const std::string& text);

// Opens a file for binary reading (close-on-exec). Null when the path cannot be converted or
// the file cannot be opened; errno tells why.
FILE* OpenForReading(const char16_t* path);

// Reads the three times of an open file. False when fstat/statx fails.
bool ReadFileTimes(FILE* file, FileTimes* times);

// The date record handed to the Exif model for a file: its creation time when known, else its
// last-write time, as a UTC date record with milliseconds.
DateRecord FileDateRecord(const FileTimes& times);
