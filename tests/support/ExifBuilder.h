// SPDX-License-Identifier: MIT
// A small TIFF builder for tests: Exif segments in either byte order with IFD0, the EXIF and
// GPS directories, IFD1 and a thumbnail, laid out the way cameras write them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "jpeg/Jpeg.h"
#include "tests/support/JpegFixtures.h"

namespace fixtures {

// One directory entry. Numbers are encoded in the segment's byte order when it is built;
// `bytes` serve BYTE, ASCII and UNDEFINED values.
struct TiffEntry {
  uint16_t tag = 0;
  uint16_t type = 0;
  uint32_t count = 0;
  std::vector<uint32_t> numbers;  // SHORT, LONG, RATIONAL (numerator, denominator, ...)
  std::string bytes;
  std::optional<uint32_t> rawValue;  // written as the value/offset field instead of the data
};

inline TiffEntry Ascii(uint16_t tag, const std::string& text) {
  return TiffEntry{tag, 2, static_cast<uint32_t>(text.size() + 1), {}, text + '\0', {}};
}
inline TiffEntry Undefined(uint16_t tag, const std::string& bytes) {
  return TiffEntry{tag, 7, static_cast<uint32_t>(bytes.size()), {}, bytes, {}};
}
inline TiffEntry Byte(uint16_t tag, uint8_t value) {
  return TiffEntry{tag, 1, 1, {}, std::string(1, static_cast<char>(value)), {}};
}
inline TiffEntry Short(uint16_t tag, uint16_t value) {
  return TiffEntry{tag, 3, 1, {value}, {}, {}};
}
inline TiffEntry Long(uint16_t tag, uint32_t value) {
  return TiffEntry{tag, 4, 1, {value}, {}, {}};
}
inline TiffEntry Rational(uint16_t tag, uint32_t numerator, uint32_t denominator) {
  return TiffEntry{tag, 5, 1, {numerator, denominator}, {}, {}};
}
inline TiffEntry SRational(uint16_t tag, int32_t numerator, int32_t denominator) {
  return TiffEntry{
      tag, 10, 1, {static_cast<uint32_t>(numerator), static_cast<uint32_t>(denominator)}, {}, {}};
}
inline TiffEntry Rationals(uint16_t tag, const std::vector<uint32_t>& pairs) {
  return TiffEntry{tag, 5, static_cast<uint32_t>(pairs.size() / 2), pairs, {}, {}};
}
// An entry whose value/offset field holds `raw` whatever its type and count say.
inline TiffEntry Raw(uint16_t tag, uint16_t type, uint32_t count, uint32_t raw) {
  return TiffEntry{tag, type, count, {}, {}, raw};
}

// An Exif segment to build: byte order, the IFDs it holds and an optional thumbnail.
struct ExifRecipe {
  bool bigEndian = false;
  std::vector<TiffEntry> ifd0;
  std::optional<std::vector<TiffEntry>> exif;  // pointed to from IFD0 when present
  std::optional<std::vector<TiffEntry>> gps;   // likewise
  std::optional<std::vector<TiffEntry>> ifd1;  // linked from IFD0 when present
  Bytes thumbnail;  // after IFD1, pointed to by JPEGInterchangeFormat(Length) when not empty
};

// Offsets of the parts of a built segment (TIFF positions).
struct ExifLayout {
  uint32_t ifd0 = 0, exif = 0, gps = 0, ifd1 = 0, thumbnail = 0;
  uint32_t link = 0;  // TIFF position of IFD0's next-IFD link
  uint32_t end = 0;   // TIFF data length
};

namespace detail {

inline void Put(Bytes& out, size_t at, uint32_t value, int size, bool big) {
  for (int i = 0; i < size; ++i) {
    const int shift = big ? 8 * (size - 1 - i) : 8 * i;
    out[at + i] = static_cast<uint8_t>(value >> shift);
  }
}

inline int TypeSize(uint16_t type) {
  static constexpr int kSizes[13] = {0, 1, 1, 2, 4, 8, 1, 1, 2, 4, 8, 4, 8};
  return type < 13 ? kSizes[type] : 1;
}

inline Bytes EncodeValue(const TiffEntry& e, bool big) {
  if (!e.numbers.empty()) {
    const int unit = e.type == 3 || e.type == 8 ? 2 : 4;
    Bytes out(e.numbers.size() * unit);
    for (size_t i = 0; i < e.numbers.size(); ++i) Put(out, i * unit, e.numbers[i], unit, big);
    return out;
  }
  return Bytes(e.bytes.begin(), e.bytes.end());
}

inline uint32_t DirectorySize(const std::vector<TiffEntry>& entries) {
  uint32_t size = 2 + 12 * static_cast<uint32_t>(entries.size()) + 4;
  for (const TiffEntry& e : entries) {
    if (!e.rawValue && EncodeValue(e, false).size() > 4)
      size += static_cast<uint32_t>(EncodeValue(e, false).size());
  }
  return size;
}

// Writes the directory with its out-of-line data right after it.
inline void WriteDirectory(Bytes& out, uint32_t at, const std::vector<TiffEntry>& entries,
                           uint32_t link, bool big) {
  Put(out, at, static_cast<uint32_t>(entries.size()), 2, big);
  uint32_t data = at + 2 + 12 * static_cast<uint32_t>(entries.size()) + 4;
  for (size_t i = 0; i < entries.size(); ++i) {
    const TiffEntry& e = entries[i];
    const uint32_t entry = at + 2 + 12 * static_cast<uint32_t>(i);
    Put(out, entry, e.tag, 2, big);
    Put(out, entry + 2, e.type, 2, big);
    Put(out, entry + 4, e.count, 4, big);
    const Bytes value = EncodeValue(e, big);
    if (e.rawValue) {
      Put(out, entry + 8, *e.rawValue, 4, big);
    } else if (value.size() <= 4) {
      std::copy(value.begin(), value.end(), out.begin() + entry + 8);
    } else {
      Put(out, entry + 8, data, 4, big);
      std::copy(value.begin(), value.end(), out.begin() + data);
      data += static_cast<uint32_t>(value.size());
    }
  }
  Put(out, at + 2 + 12 * static_cast<uint32_t>(entries.size()), link, 4, big);
}

}  // namespace detail

// The TIFF data that `recipe` describes (without "Exif\0\0"), and where its parts went.
inline Bytes BuildTiff(const ExifRecipe& recipe, ExifLayout* layout = nullptr) {
  using namespace detail;
  std::vector<TiffEntry> ifd0 = recipe.ifd0, ifd1 = recipe.ifd1.value_or(std::vector<TiffEntry>());
  if (recipe.exif) ifd0.push_back(Long(0x8769, 0));
  if (recipe.gps) ifd0.push_back(Long(0x8825, 0));
  if (recipe.ifd1 && !recipe.thumbnail.empty()) {
    ifd1.push_back(Long(0x0201, 0));
    ifd1.push_back(Long(0x0202, static_cast<uint32_t>(recipe.thumbnail.size())));
  }
  ExifLayout l;
  l.ifd0 = 8;
  uint32_t next = l.ifd0 + DirectorySize(ifd0);
  if (recipe.exif) {
    l.exif = next;
    next += DirectorySize(*recipe.exif);
  }
  if (recipe.gps) {
    l.gps = next;
    next += DirectorySize(*recipe.gps);
  }
  if (recipe.ifd1) {
    l.ifd1 = next;
    next += DirectorySize(ifd1);
    l.thumbnail = next;
    next += static_cast<uint32_t>(recipe.thumbnail.size());
  }
  l.end = next;
  for (TiffEntry& e : ifd0) {
    if (e.tag == 0x8769 && recipe.exif) e.numbers = {l.exif};
    if (e.tag == 0x8825 && recipe.gps) e.numbers = {l.gps};
  }
  for (TiffEntry& e : ifd1) {
    if (e.tag == 0x0201 && !recipe.thumbnail.empty()) e.numbers = {l.thumbnail};
  }
  l.link = l.ifd0 + 2 + 12 * static_cast<uint32_t>(ifd0.size());

  Bytes out(l.end, 0);
  out[0] = out[1] = recipe.bigEndian ? 'M' : 'I';
  Put(out, 2, 42, 2, recipe.bigEndian);
  Put(out, 4, l.ifd0, 4, recipe.bigEndian);
  WriteDirectory(out, l.ifd0, ifd0, l.ifd1, recipe.bigEndian);
  if (recipe.exif) WriteDirectory(out, l.exif, *recipe.exif, 0, recipe.bigEndian);
  if (recipe.gps) WriteDirectory(out, l.gps, *recipe.gps, 0, recipe.bigEndian);
  if (recipe.ifd1) {
    WriteDirectory(out, l.ifd1, ifd1, 0, recipe.bigEndian);
    std::copy(recipe.thumbnail.begin(), recipe.thumbnail.end(), out.begin() + l.thumbnail);
  }
  if (layout != nullptr) *layout = l;
  return out;
}

// The APP1 payload: "Exif\0\0" and the TIFF data.
inline Bytes ExifPayload(const Bytes& tiff) {
  static constexpr uint8_t kHeader[6] = {'E', 'x', 'i', 'f', 0, 0};
  Bytes payload(sizeof kHeader + tiff.size());
  std::copy(std::begin(kHeader), std::end(kHeader), payload.begin());
  std::copy(tiff.begin(), tiff.end(), payload.begin() + sizeof kHeader);
  return payload;
}
inline Bytes ExifPayload(const ExifRecipe& recipe, ExifLayout* layout = nullptr) {
  return ExifPayload(BuildTiff(recipe, layout));
}

// A list of saved markers as the JPEG library hands it over, built from owned payloads.
class SavedMarkers {
 public:
  explicit SavedMarkers(std::vector<Marker> markers) : markers_(std::move(markers)) {
    nodes_.resize(markers_.size());
    for (size_t i = 0; i < markers_.size(); ++i) {
      nodes_[i].next = i + 1 < nodes_.size() ? &nodes_[i + 1] : nullptr;
      nodes_[i].marker = static_cast<UINT8>(markers_[i].code);
      nodes_[i].original_length = static_cast<unsigned int>(markers_[i].payload.size());
      nodes_[i].data_length = static_cast<unsigned int>(markers_[i].payload.size());
      nodes_[i].data = markers_[i].payload.data();
    }
  }
  SavedMarkers(const SavedMarkers&) = delete;
  SavedMarkers& operator=(const SavedMarkers&) = delete;
  jpeg_saved_marker_ptr head() { return nodes_.empty() ? nullptr : &nodes_[0]; }
  Bytes& payload(size_t i) { return markers_[i].payload; }

 private:
  std::vector<Marker> markers_;
  std::vector<jpeg_marker_struct> nodes_;
};

}  // namespace fixtures
