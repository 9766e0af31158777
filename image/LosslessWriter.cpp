// SPDX-License-Identifier: MIT
// The lossless writer.
//
// The compression object copies the header decompressor's critical parameters (colour space,
// component identifiers, sampling, quantization tables as the edits left them) and takes the
// image object's current size. Its coefficients live in the library's virtual block arrays,
// which are filled one MCU row at a time: the row's blocks of every component are gathered from
// the store into a staging buffer, then quantized into the arrays. Only the real blocks of the
// output are written; the library makes its own edge blocks for incomplete MCUs, so filler
// blocks of the store never reach the file. The library then writes one sequential,
// Huffman-coded scan without restart markers, whatever the source's coding was.
#include "image/LosslessWriter.h"

#include <cstdlib>
#include <cstring>

#include "image/CoefficientStore.h"
#include "image/DllImage.h"
#include "image/ErrorRecord.h"

namespace {

// One scan holds every component, and the JPEG standard allows at most four in a scan.
constexpr int kMaxWrittenComponents = 4;
// Reciprocals are scaled by 2^40: exact for every sum times quantizer below 2^40.
constexpr int kReciprocalShift = 40;
// The ranges of a baseline Huffman code for 8-bit samples: AC magnitudes of at most 10 bits,
// DC differences of at most 11 bits, which DC values in -1024..1023 guarantee.
constexpr uint32_t kLargestAc = 1023;
constexpr int32_t kSmallestDc = -1024;
constexpr int32_t kLargestDc = 1023;

// The geometry the writer works with, from the image object's size and the header
// decompressor's sampling.
struct WriteLayout {
  int32_t mcuRows = 0;                        // My
  PlaneLayout planes[kMaxWrittenComponents];  // Bc, Rc and the plane offset per component
  int32_t realBlocks[kMaxWrittenComponents];  // ceil(W * hc / (8 * Hmax)): blocks of the output
  int64_t stagingValues = 0;                  // one MCU row of every component
};

// False when the store does not match the header decompressor at the image's size (which no
// correct edit produces) or the image cannot be written in one scan.
bool ComputeWriteLayout(CDllImage& image, WriteLayout* layout) {
  const jpeg_decompress_struct& info = *image.HeaderDecompressor();
  if (info.num_components < 1 || info.num_components > kMaxWrittenComponents) return false;
  const int64_t width = image.Width();
  const int64_t height = image.Height();
  if (width < 1 || height < 1) return false;
  const int64_t total = ComputeStoreLayout(info, width, height, layout->planes);
  if (total < 0 || total != image.CoefficientCount()) return false;
  layout->mcuRows = static_cast<int32_t>(CeilDiv(height, int64_t{8} * info.max_v_samp_factor));
  layout->stagingValues = 0;
  for (int c = 0; c < info.num_components; ++c) {
    const jpeg_component_info& comp = info.comp_info[c];
    layout->realBlocks[c] = static_cast<int32_t>(
        CeilDiv(width * comp.h_samp_factor, int64_t{8} * info.max_h_samp_factor));
    layout->stagingValues += int64_t{64} * layout->planes[c].blocksPerRow * comp.v_samp_factor;
  }
  return true;
}

// Requests one virtual block array per component, Bc blocks by Rc rows, accessed vc rows at a
// time and not pre-zeroed, and realizes them.
jvirt_barray_ptr* RequestArrays(j_compress_ptr cinfo, const WriteLayout& layout) {
  auto common = reinterpret_cast<j_common_ptr>(cinfo);
  auto* arrays = static_cast<jvirt_barray_ptr*>(cinfo->mem->alloc_small(
      common, JPOOL_IMAGE, sizeof(jvirt_barray_ptr) * static_cast<size_t>(cinfo->num_components)));
  for (int c = 0; c < cinfo->num_components; ++c) {
    arrays[c] = cinfo->mem->request_virt_barray(
        common, JPOOL_IMAGE, FALSE, static_cast<JDIMENSION>(layout.planes[c].blocksPerRow),
        static_cast<JDIMENSION>(layout.planes[c].blockRows),
        static_cast<JDIMENSION>(cinfo->comp_info[c].v_samp_factor));
  }
  cinfo->mem->realize_virt_arrays(common);
  return arrays;
}

// Copies the vc block rows of MCU row `row` of every component's plane into `staging`,
// component after component.
void GatherMcuRow(const int16_t* store, const j_compress_ptr cinfo, const WriteLayout& layout,
                  int32_t row, int16_t* staging) {
  for (int c = 0; c < cinfo->num_components; ++c) {
    const PlaneLayout& plane = layout.planes[c];
    const int64_t rowValues = int64_t{64} * plane.blocksPerRow;
    const int32_t v = cinfo->comp_info[c].v_samp_factor;
    const int16_t* from = store + plane.offset + rowValues * row * v;
    std::memcpy(staging, from, static_cast<size_t>(rowValues * v) * sizeof(int16_t));
    staging += rowValues * v;
  }
}

// Quantizes the staged MCU row into the arrays: the real blocks of each of the vc block rows.
// False when a value cannot be Huffman-coded.
bool QuantizeMcuRow(j_compress_ptr cinfo, jvirt_barray_ptr* arrays, const WriteLayout& layout,
                    const QuantizerTable* tables, int32_t row, const int16_t* staging) {
  for (int c = 0; c < cinfo->num_components; ++c) {
    const PlaneLayout& plane = layout.planes[c];
    const int32_t v = cinfo->comp_info[c].v_samp_factor;
    JBLOCKARRAY rows = cinfo->mem->access_virt_barray(reinterpret_cast<j_common_ptr>(cinfo),
                                                      arrays[c], static_cast<JDIMENSION>(row * v),
                                                      static_cast<JDIMENSION>(v), TRUE);
    bool fits = true;
    for (int32_t r = 0; r < v; ++r) {
      const int16_t* in = staging + int64_t{64} * plane.blocksPerRow * r;
      for (int32_t x = 0; x < layout.realBlocks[c]; ++x) {
        fits &= QuantizeBlock(in + int64_t{64} * x, tables[c], rows[r][x]);
      }
    }
    if (!fits) return false;
    staging += int64_t{64} * plane.blocksPerRow * v;
  }
  return true;
}

// The quantizers of each component: the compression object's table for its table number.
bool PrepareTables(j_compress_ptr cinfo, QuantizerTable* tables) {
  for (int c = 0; c < cinfo->num_components; ++c) {
    const int number = cinfo->comp_info[c].quant_tbl_no;
    if (number < 0 || number >= NUM_QUANT_TBLS || cinfo->quant_tbl_ptrs[number] == nullptr) {
      return false;
    }
    PrepareQuantizerTable(*cinfo->quant_tbl_ptrs[number], &tables[c]);
  }
  return true;
}

// The JFIF marker is only meaningful for grayscale and YCbCr data: a decoder that sees one
// takes three components for YCbCr, which would turn an RGB image's colours. The library's
// colour-space defaults already say where it belongs, so the Exif model's wish only narrows
// them.
void DecideJfifHeader(CDllImage& image, j_compress_ptr cinfo, const TesselSaveOptions& options) {
  const bool wanted = image.Exif().WantJfifHeader(options.bKeepMetadata) != 0;
  cinfo->write_JFIF_header = (cinfo->write_JFIF_header && wanted) ? TRUE : FALSE;
}

}  // namespace

int16_t QuantizeValue(int32_t value, int32_t quantizer) {
  if (quantizer <= 0) return 0;
  const int64_t magnitude = value < 0 ? -int64_t{value} : int64_t{value};
  const int64_t quotient = (magnitude + quantizer / 2) / quantizer;
  const int64_t result = value < 0 ? -quotient : quotient;
  if (result > INT16_MAX) return INT16_MAX;
  if (result < INT16_MIN) return INT16_MIN;
  return static_cast<int16_t>(result);
}

void PrepareQuantizerTable(const JQUANT_TBL& table, QuantizerTable* out) {
  for (int k = 0; k < DCTSIZE2; ++k) {
    const uint64_t q = table.quantval[k];
    out->half[k] = static_cast<uint32_t>(q / 2);
    // A zero quantizer gets a zero reciprocal, so its values quantize to 0 like QuantizeValue.
    out->reciprocal[k] = q == 0 ? 0 : (uint64_t{1} << kReciprocalShift) / q + 1;
  }
}

bool QuantizeBlock(const int16_t* in, const QuantizerTable& table, JCOEF* out) {
  uint32_t largestAc = 0;
  for (int k = 0; k < DCTSIZE2; ++k) {
    const int32_t value = in[k];
    const uint32_t sum = static_cast<uint32_t>(value < 0 ? -value : value) + table.half[k];
    const auto quotient = static_cast<uint32_t>((sum * table.reciprocal[k]) >> kReciprocalShift);
    out[k] = static_cast<JCOEF>(value < 0 ? -static_cast<int32_t>(quotient)
                                          : static_cast<int32_t>(quotient));
    if (k > 0 && quotient > largestAc) largestAc = quotient;
  }
  return largestAc <= kLargestAc && out[0] >= kSmallestDc && out[0] <= kLargestDc;
}

TSL_BOOL WriteLossless(CDllImage& image, FILE* file, jpeg_destination_mgr* destination,
                       const TesselSaveOptions& options, const uint8_t* thumbnail,
                       int32_t thumbnailLength) {
  if (!image.IsOpen()) return 0;
  if (file == nullptr && destination == nullptr) return 0;
  WriteLayout layout;
  if (!ComputeWriteLayout(image, &layout)) return 0;
  // Everything the failure path reads is set before the jump buffer is armed, or is volatile.
  jpeg_compress_struct cinfo{};
  int16_t* volatile staging = nullptr;
  QuantizerTable tables[kMaxWrittenComponents];
  ErrorRecord& errors = image.Errors();
  cinfo.err = PrepareErrorRecord(errors);
  if (TSL_ARM_ERRORS(errors)) {
    std::free(staging);
    jpeg_destroy_compress(&cinfo);
    return 0;
  }
  jpeg_create_compress(&cinfo);
  jpeg_copy_critical_parameters(image.HeaderDecompressor(), &cinfo);
  // The size the edits left; the library derives the components' block counts from it when the
  // coefficients are written.
  cinfo.image_width = static_cast<JDIMENSION>(image.Width());
  cinfo.image_height = static_cast<JDIMENSION>(image.Height());
  cinfo.optimize_coding = (options.bOptimize & 0xFF) != 0 ? TRUE : FALSE;
  if (destination != nullptr) {
    cinfo.dest = destination;
  } else {
    jpeg_stdio_dest(&cinfo, file);
  }
  if (!PrepareTables(&cinfo, tables)) {
    jpeg_destroy_compress(&cinfo);
    return 0;
  }
  jvirt_barray_ptr* arrays = RequestArrays(&cinfo, layout);
  DecideJfifHeader(image, &cinfo, options);
  jpeg_write_coefficients(&cinfo, arrays);
  image.Exif().WriteMarkers(
      image.HeaderDecompressor()->marker_list, &cinfo, options.bKeepComments, options.bKeepMetadata,
      options.iThumbnailMode, thumbnail,
      thumbnail != nullptr && thumbnailLength > 0 ? static_cast<uint32_t>(thumbnailLength) : 0);
  staging = static_cast<int16_t*>(
      std::malloc(static_cast<size_t>(layout.stagingValues) * sizeof(int16_t)));
  if (staging == nullptr) {
    jpeg_destroy_compress(&cinfo);
    return 0;
  }
  const int16_t* store = image.Coefficients();
  for (int32_t row = 0; row < layout.mcuRows; ++row) {
    GatherMcuRow(store, &cinfo, layout, row, staging);
    // The library does not check every value it codes: one beyond the code's range would be
    // written as another value, so such a store is refused.
    if (!QuantizeMcuRow(&cinfo, arrays, layout, tables, row, staging)) {
      std::free(staging);
      jpeg_destroy_compress(&cinfo);
      return 0;
    }
  }
  std::free(staging);
  staging = nullptr;
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  return 1;
}
