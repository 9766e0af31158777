// SPDX-License-Identifier: MIT
// TiffCursor: the one bounds-checked view through which every read of Exif TIFF data goes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

// A view of the TIFF data of an Exif segment (the bytes after "Exif\0\0") with its byte order.
// Positions are TIFF positions: offsets from the first byte of the TIFF header. Every check adds
// in 64 bits, so no offset or count read from the file can wrap past a bound; a read outside
// the data yields nothing instead of touching memory beyond it.
class TiffCursor {
 public:
  // One directory entry: 12 bytes at `position`.
  static constexpr uint32_t kEntrySize = 12;

  TiffCursor(const uint8_t* data, uint32_t length, bool bigEndian)
      : data_(data), length_(length), bigEndian_(bigEndian) {}

  uint32_t Length() const { return length_; }
  bool BigEndian() const { return bigEndian_; }

  // Whether `count` bytes starting at `position` lie wholly inside the data.
  bool Has(uint64_t position, uint64_t count) const {
    return position <= length_ && count <= length_ - position;
  }

  // Unsigned values in the data's byte order; 0 when outside the data.
  uint8_t Byte(uint64_t position) const { return Has(position, 1) ? data_[position] : 0; }
  uint16_t Get16(uint64_t position) const {
    if (!Has(position, 2)) return 0;
    const uint8_t* p = data_ + position;
    return bigEndian_ ? static_cast<uint16_t>(p[0] << 8 | p[1])
                      : static_cast<uint16_t>(p[1] << 8 | p[0]);
  }
  uint32_t Get32(uint64_t position) const {
    if (!Has(position, 4)) return 0;
    const uint8_t* p = data_ + position;
    const uint32_t b0 = p[0], b1 = p[1], b2 = p[2], b3 = p[3];
    return bigEndian_ ? (b0 << 24 | b1 << 16 | b2 << 8 | b3) : (b3 << 24 | b2 << 16 | b1 << 8 | b0);
  }
  // A big-endian 16-bit value, as JPEG marker lengths and sizes are stored.
  uint16_t GetBig16(uint64_t position) const {
    if (!Has(position, 2)) return 0;
    return static_cast<uint16_t>(data_[position] << 8 | data_[position + 1]);
  }

  // `count` bytes at `position`, or nothing when they are not all inside the data.
  std::optional<std::string> Bytes(uint64_t position, uint64_t count) const {
    if (!Has(position, count)) return std::nullopt;
    return std::string(reinterpret_cast<const char*>(data_ + position), count);
  }

  // The address of `position` inside the data (for positions noted for later writes), or null.
  const uint8_t* At(uint64_t position, uint64_t count) const {
    return Has(position, count) ? data_ + position : nullptr;
  }

  // A RATIONAL referenced by the entry: two unsigned 32-bit values at the offset stored at
  // entry + 8.
  struct Rational {
    uint32_t numerator = 0;
    uint32_t denominator = 0;
  };
  std::optional<Rational> GetRational(uint64_t entry) const {
    const uint32_t offset = Get32(entry + 8);
    if (!Has(entry + 8, 4) || !Has(offset, 8)) return std::nullopt;
    return Rational{Get32(offset), Get32(offset + 4)};
  }

  // An ASCII value: `count` bytes stored in the entry when they fit in 4, else at the offset
  // stored at entry + 8; the text ends at the first NUL. Nothing when the bytes are outside.
  std::optional<std::string> GetAscii(uint64_t entry) const {
    if (!Has(entry, kEntrySize)) return std::nullopt;
    const uint32_t count = Get32(entry + 4);
    const uint64_t start = count <= 4 ? entry + 8 : Get32(entry + 8);
    std::optional<std::string> bytes = Bytes(start, count);
    if (!bytes) return std::nullopt;
    const size_t nul = bytes->find('\0');
    if (nul != std::string::npos) bytes->resize(nul);
    return bytes;
  }

 private:
  const uint8_t* data_;
  uint32_t length_;
  bool bigEndian_;
};
