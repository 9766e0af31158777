// SPDX-License-Identifier: MIT
// Linux implementation of path conversion, opening for reading and file times.
#include "platform/Files.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <ctime>

std::optional<std::string> Utf16ToUtf8(const char16_t* text) {
  if (text == nullptr) return std::nullopt;
  std::string out;
  for (size_t i = 0; text[i] != 0; ++i) {
    uint32_t cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF) {
      const uint32_t low = text[i + 1];
      if (low < 0xDC00 || low > 0xDFFF) return std::nullopt;
      cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
      ++i;
    } else if (cp >= 0xDC00 && cp <= 0xDFFF) {
      return std::nullopt;
    }
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp < 0x800) {
      out += static_cast<char>(0xC0 | (cp >> 6));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
      out += static_cast<char>(0xE0 | (cp >> 12));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (cp >> 18));
      out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (cp & 0x3F));
    }
  }
  return out;
}

namespace {

// Decodes one UTF-8 sequence at `i`; returns U+FFFD and advances by one byte when malformed.
uint32_t DecodeUtf8(const std::string& s, size_t& i) {
  const auto byte = [&](size_t k) { return static_cast<uint8_t>(s[k]); };
  const uint8_t lead = byte(i);
  const int extra = lead < 0x80           ? 0
                    : (lead >> 5) == 0x6  ? 1
                    : (lead >> 4) == 0xE  ? 2
                    : (lead >> 3) == 0x1E ? 3
                                          : -1;
  if (extra == 0) {
    ++i;
    return lead;
  }
  if (extra < 0 || i + extra >= s.size()) {
    ++i;
    return 0xFFFD;
  }
  uint32_t cp = lead & (0x3F >> extra);
  for (int k = 1; k <= extra; ++k) {
    if ((byte(i + k) & 0xC0) != 0x80) {
      ++i;
      return 0xFFFD;
    }
    cp = (cp << 6) | (byte(i + k) & 0x3F);
  }
  i += extra + 1;
  return cp;
}

}  // namespace

std::u16string Utf8ToUtf16(const std::string& text) {
  std::u16string out;
  for (size_t i = 0; i < text.size();) {
    const uint32_t cp = DecodeUtf8(text, i);
    if (cp >= 0x10000 && cp <= 0x10FFFF) {
      out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
      out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp > 0x10FFFF ? 0xFFFD : cp);
    }
  }
  return out;
}

FILE* OpenForReading(const char16_t* path) {
  const std::optional<std::string> utf8 = Utf16ToUtf8(path);
  if (!utf8) return nullptr;
  return std::fopen(utf8->c_str(), "rbe");
}

bool ReadFileTimes(FILE* file, FileTimes* times) {
  struct statx sx {};
  const int fd = fileno(file);
  if (statx(fd, "", AT_EMPTY_PATH, STATX_BASIC_STATS | STATX_BTIME, &sx) != 0) return false;
  *times = FileTimes{};
  if ((sx.stx_mask & STATX_BTIME) != 0) {
    times->creation = FileTime{sx.stx_btime.tv_sec, sx.stx_btime.tv_nsec};
  }
  times->lastAccess = FileTime{sx.stx_atime.tv_sec, sx.stx_atime.tv_nsec};
  times->lastWrite = FileTime{sx.stx_mtime.tv_sec, sx.stx_mtime.tv_nsec};
  return true;
}

DateRecord FileDateRecord(const FileTimes& times) {
  const FileTime& chosen = times.creation.IsZero() ? times.lastWrite : times.creation;
  return UtcDateRecord(chosen.seconds, chosen.nanoseconds);
}
