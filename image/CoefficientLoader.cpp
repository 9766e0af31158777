// SPDX-License-Identifier: MIT
// The coefficient loader.
//
// The header decompressor has read the header; a second, temporary decompression object reads
// the whole stream with jpeg_read_coefficients, and its quantized coefficients are multiplied by
// their quantizers into the store, component by component, block row by block row. The store
// is laid out in whole MCUs of the header's sampling; the blocks beyond the component's real
// block counts are filler and are set to zero.
#include "image/CoefficientLoader.h"

#include <cstring>

#include "image/ErrorRecord.h"
#include "image/MemorySource.h"

void AttachJpegInput(j_decompress_ptr cinfo, const JpegInput& input, MemorySource* memory) {
  if (input.file != nullptr) {
    std::fseek(input.file, 0, SEEK_SET);
    jpeg_stdio_src(cinfo, input.file);
  } else {
    AttachMemorySource(cinfo, memory, input.data, input.size);
  }
}

namespace {

// The temporary object must describe the same frame as the header decompressor, or the store
// laid out for the header would be filled from differently shaped arrays.
bool SameFrame(const jpeg_decompress_struct& a, const jpeg_decompress_struct& b) {
  if (a.num_components != b.num_components || a.max_h_samp_factor != b.max_h_samp_factor ||
      a.max_v_samp_factor != b.max_v_samp_factor || a.image_width != b.image_width ||
      a.image_height != b.image_height) {
    return false;
  }
  for (int c = 0; c < a.num_components; ++c) {
    if (a.comp_info[c].h_samp_factor != b.comp_info[c].h_samp_factor ||
        a.comp_info[c].v_samp_factor != b.comp_info[c].v_samp_factor) {
      return false;
    }
  }
  return true;
}

// Copies one component's real blocks, multiplied by `q`, into its plane, and zeroes the filler.
// The array is fetched v block rows at a time, as the library's virtual arrays are meant to be.
void LoadComponent(j_decompress_ptr cinfo, jvirt_barray_ptr array, const jpeg_component_info& comp,
                   const JQUANT_TBL& q, const PlaneLayout& plane, int16_t* out) {
  const JDIMENSION realWidth = comp.width_in_blocks;
  const JDIMENSION realHeight = comp.height_in_blocks;
  const size_t fillerValues = size_t{64} * (plane.blocksPerRow - realWidth);
  int32_t quant[DCTSIZE2];
  for (int k = 0; k < DCTSIZE2; ++k) quant[k] = q.quantval[k];
  const JDIMENSION step = static_cast<JDIMENSION>(comp.v_samp_factor);
  for (JDIMENSION row = 0; row < realHeight; row += step) {
    JBLOCKARRAY rows = cinfo->mem->access_virt_barray(reinterpret_cast<j_common_ptr>(cinfo), array,
                                                      row, step, FALSE);
    for (JDIMENSION r = 0; r < step && row + r < realHeight; ++r) {
      const JBLOCKROW blocks = rows[r];
      for (JDIMENSION x = 0; x < realWidth; ++x) {
        const JCOEF* in = blocks[x];
        // The 32-bit product keeps its low 16 bits; only out-of-range files can wrap.
        for (int k = 0; k < DCTSIZE2; ++k) out[k] = static_cast<int16_t>(in[k] * quant[k]);
        out += DCTSIZE2;
      }
      std::memset(out, 0, fillerValues * sizeof(int16_t));
      out += fillerValues;
    }
  }
  const size_t fillerRows = static_cast<size_t>(plane.blockRows - realHeight);
  std::memset(out, 0, fillerRows * plane.blocksPerRow * 64 * sizeof(int16_t));
}

}  // namespace

bool LoadCoefficients(const jpeg_decompress_struct& header, const JpegInput& input,
                      CoefficientArray* store, int32_t* count) {
  // Everything the failure path reads lives in this frame and is set before the jump buffer is
  // armed, or is volatile.
  ErrorRecord record;
  jpeg_decompress_struct cinfo{};
  MemorySource memory{};
  int16_t* volatile values = nullptr;
  cinfo.err = PrepareErrorRecord(record);
  if (TSL_ARM_ERRORS(record)) {
    jpeg_destroy_decompress(&cinfo);
    CoefficientDeleter()(values);
    return false;
  }
  jpeg_create_decompress(&cinfo);
  AttachJpegInput(&cinfo, input, &memory);
  jpeg_read_header(&cinfo, TRUE);
  PlaneLayout planes[MAX_COMPONENTS];
  const int64_t total = ComputeStoreLayout(header, cinfo.image_width, cinfo.image_height, planes);
  if (!SameFrame(header, cinfo) || total < 0 || cinfo.num_components > MAX_COMPONENTS) {
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  jvirt_barray_ptr* arrays = jpeg_read_coefficients(&cinfo);
  values = AllocateCoefficients(static_cast<size_t>(total)).release();
  if (values == nullptr) {
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  for (int c = 0; c < cinfo.num_components; ++c) {
    const jpeg_component_info& comp = cinfo.comp_info[c];
    const JQUANT_TBL* q = comp.quant_table;
    if (q == nullptr && comp.quant_tbl_no >= 0 && comp.quant_tbl_no < NUM_QUANT_TBLS) {
      q = cinfo.quant_tbl_ptrs[comp.quant_tbl_no];
    }
    if (q == nullptr) {
      jpeg_destroy_decompress(&cinfo);
      CoefficientDeleter()(values);
      return false;
    }
    LoadComponent(&cinfo, arrays[c], comp, *q, planes[c], values + planes[c].offset);
  }
  jpeg_destroy_decompress(&cinfo);
  store->reset(values);
  *count = static_cast<int32_t>(total);
  return true;
}
