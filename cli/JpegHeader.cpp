// SPDX-License-Identifier: MIT
// Header reading with the JPEG library, for the tool's reports.
#include "cli/JpegHeader.h"

#include <csetjmp>
#include <cstdio>
#include <fstream>
#include <iterator>

#include "jpeg/Jpeg.h"

namespace cli {
namespace {

struct Errors {
  jpeg_error_mgr mgr;
  std::jmp_buf jump;
};

[[noreturn]] void Exit(j_common_ptr cinfo) {
  std::longjmp(reinterpret_cast<Errors*>(cinfo->err)->jump, 1);
}
void Silent(j_common_ptr) {}

// Fills `out` from a decompressor whose header has been read.
void Describe(const jpeg_decompress_struct& cinfo, JpegHeader* out) {
  out->width = static_cast<int>(cinfo.image_width);
  out->height = static_cast<int>(cinfo.image_height);
  out->colourSpace = cinfo.jpeg_color_space;
  out->maxH = cinfo.max_h_samp_factor;
  out->maxV = cinfo.max_v_samp_factor;
  out->progressive = cinfo.progressive_mode != 0;
  out->arithmetic = cinfo.arith_code != 0;
  for (int c = 0; c < cinfo.num_components; ++c) {
    const jpeg_component_info& comp = cinfo.comp_info[c];
    out->components.push_back(ComponentHeader{comp.h_samp_factor, comp.v_samp_factor,
                                              static_cast<int>(comp.width_in_blocks),
                                              static_cast<int>(comp.height_in_blocks)});
  }
}

// Reads the header into `out`; false on any library error. No object with a destructor is
// created between the setjmp and the library calls.
bool ReadInto(const uint8_t* data, size_t size, JpegHeader* out) {
  Errors errors;
  jpeg_decompress_struct cinfo{};
  cinfo.err = jpeg_std_error(&errors.mgr);
  errors.mgr.error_exit = Exit;
  errors.mgr.output_message = Silent;
  if (setjmp(errors.jump) != 0) {
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, data, static_cast<unsigned long>(size));
  jpeg_read_header(&cinfo, TRUE);
  out->components.reserve(static_cast<size_t>(cinfo.num_components));
  Describe(cinfo, out);
  jpeg_destroy_decompress(&cinfo);
  return true;
}

}  // namespace

std::optional<JpegHeader> ReadJpegHeader(const uint8_t* data, size_t size) {
  JpegHeader header;
  if (data == nullptr || size == 0 || !ReadInto(data, size, &header)) return std::nullopt;
  return header;
}

std::optional<JpegHeader> ReadJpegHeaderFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return std::nullopt;
  const std::vector<uint8_t> bytes((std::istreambuf_iterator<char>(in)),
                                   std::istreambuf_iterator<char>());
  return ReadJpegHeader(bytes.data(), bytes.size());
}

}  // namespace cli
