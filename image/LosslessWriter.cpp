// SPDX-License-Identifier: MIT
// The lossless writer.
//
// The compression object copies the header decompressor's critical parameters (colour space,
// component identifiers, sampling, quantization tables as the edits left them) and takes the
// image's current size. The library reads the coefficients through its memory manager's
// virtual block arrays; here each array is a view of a plane of the store that quantizes the
// block rows the library asks for when it asks, so the image is never held twice. Only the
// real blocks of the output are quantized; the library makes its own edge blocks for
// incomplete MCUs, so filler blocks of the store never reach the file. The library then writes
// one sequential, Huffman-coded scan without restart markers, whatever the source's coding was.
#include "image/LosslessWriter.h"

#include <jerror.h>

#include <optional>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "jpeg/CoefficientStore.h"
#include "jpeg/ErrorRecord.h"
#include "metadata/Exif.h"

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

// The geometry the writer works with, from the image's size and the header decompressor's
// sampling.
struct WriteLayout {
  StoreGeometry store;                        // Bc, Rc and the plane offset per component
  int32_t realBlocks[kMaxWrittenComponents];  // ceil(W * hc / (8 * Hmax)): blocks of the output
};

// False when the store does not match the header decompressor at the image's size (which no
// correct edit produces) or the image cannot be written in one scan.
bool ComputeWriteLayout(const StoreView& image, WriteLayout* layout) {
  const jpeg_decompress_struct& info = *image.header;
  if (info.num_components < 1 || info.num_components > kMaxWrittenComponents) return false;
  if (image.width < 1 || image.height < 1) return false;
  const std::optional<StoreGeometry> geometry = image.Geometry();
  if (!geometry || geometry->values != image.count) return false;
  layout->store = *geometry;
  for (int c = 0; c < info.num_components; ++c) {
    layout->realBlocks[c] = static_cast<int32_t>(geometry->ImageBlocksAcross(c));
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
void DecideJfifHeader(const CExif& exif, j_compress_ptr cinfo, const TesselSaveOptions& options) {
  const bool wanted = exif.WantJfifHeader(options.bKeepMetadata) != 0;
  cinfo->write_JFIF_header = (cinfo->write_JFIF_header && wanted) ? TRUE : FALSE;
}

// The library reads the coefficient arrays only through its memory manager's
// access_virt_barray, one MCU row of each component at a time (twice when it computes Huffman
// tables). A plane view stands in for a component's array: each access quantizes the requested
// block rows straight from the store into a window of vc rows, so the coefficients are never
// held twice.
struct PlaneView {
  const int16_t* plane = nullptr;  // the component's plane in the store
  int32_t blocksPerRow = 0;        // Bc
  int32_t blockRows = 0;           // Rc
  int32_t realBlocks = 0;          // blocks of each row that the output holds
  int32_t windowRows = 0;          // vc: the most rows one access may ask for
  JBLOCKARRAY window = nullptr;    // windowRows rows of Bc blocks, in the image pool
  const QuantizerTable* table = nullptr;
};

// Reached through the compression object's client_data while the views are in use.
struct PlaneViews {
  PlaneView views[kMaxWrittenComponents];
  int count = 0;
  // The memory manager's own access, for arrays that are not views.
  JBLOCKARRAY (*access)(j_common_ptr, jvirt_barray_ptr, JDIMENSION, JDIMENSION, boolean) = nullptr;
};

[[noreturn]] void FailAccess(j_common_ptr cinfo, int code) {
  cinfo->err->msg_code = code;
  cinfo->err->error_exit(cinfo);
  __builtin_unreachable();
}

// A library callback: holds no object with a destructor, since errors leave through longjmp.
JBLOCKARRAY AccessPlaneView(j_common_ptr cinfo, jvirt_barray_ptr array, JDIMENSION start,
                            JDIMENSION rows, boolean writable) {
  auto* views = static_cast<PlaneViews*>(cinfo->client_data);
  for (int c = 0; c < views->count; ++c) {
    PlaneView& view = views->views[c];
    if (array != reinterpret_cast<jvirt_barray_ptr>(&view)) continue;
    if (rows > static_cast<JDIMENSION>(view.windowRows) || int64_t{start} + rows > view.blockRows) {
      FailAccess(cinfo, JERR_BAD_VIRTUAL_ACCESS);
    }
    bool fits = true;
    for (JDIMENSION r = 0; r < rows; ++r) {
      const int16_t* in = view.plane + int64_t{64} * view.blocksPerRow * (start + r);
      for (int32_t x = 0; x < view.realBlocks; ++x) {
        fits &= QuantizeBlock(in + int64_t{64} * x, *view.table, view.window[r][x]);
      }
    }
    // The library does not check every value it codes: one beyond the code's range would be
    // written as another value, so such a store is refused.
    if (!fits) FailAccess(cinfo, JERR_BAD_DCT_COEF);
    return view.window;
  }
  return views->access(cinfo, array, start, rows, writable);
}

// Sets up one view per component over the store and hands the library their handles.
jvirt_barray_ptr* MakePlaneViews(j_compress_ptr cinfo, const WriteLayout& layout,
                                 const int16_t* store, const QuantizerTable* tables,
                                 PlaneViews* views) {
  auto common = reinterpret_cast<j_common_ptr>(cinfo);
  auto* arrays = static_cast<jvirt_barray_ptr*>(cinfo->mem->alloc_small(
      common, JPOOL_IMAGE, sizeof(jvirt_barray_ptr) * static_cast<size_t>(cinfo->num_components)));
  views->count = cinfo->num_components;
  for (int c = 0; c < cinfo->num_components; ++c) {
    const PlaneGeometry& plane = layout.store.planes[c];
    PlaneView& view = views->views[c];
    view.plane = store + plane.offset;
    view.blocksPerRow = plane.blocksPerRow;
    view.blockRows = plane.blockRows;
    view.realBlocks = layout.realBlocks[c];
    view.windowRows = cinfo->comp_info[c].v_samp_factor;
    view.window =
        cinfo->mem->alloc_barray(common, JPOOL_IMAGE, static_cast<JDIMENSION>(view.blocksPerRow),
                                 static_cast<JDIMENSION>(view.windowRows));
    view.table = &tables[c];
    arrays[c] = reinterpret_cast<jvirt_barray_ptr>(&view);
  }
  views->access = cinfo->mem->access_virt_barray;
  cinfo->client_data = views;
  cinfo->mem->access_virt_barray = AccessPlaneView;
  return arrays;
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
    out->inverse[k] = q == 0 ? 0.0 : 1.0 / static_cast<double>(q);
  }
}

bool QuantizeBlockPortable(const int16_t* in, const QuantizerTable& table, JCOEF* out) {
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

#if defined(__SSE2__)

namespace {

// Quotients of four sums (32-bit lanes) by their quantizers: sum times the double inverse plus
// 2^-20, truncated. The product's error is below 2^17 * 2^-51 = 2^-34, so an exact multiple
// stays above its quotient and any other sum, whose fraction is at least 1/q >= 2^-16, stays
// below the next integer: the truncation is the exact floor.
inline __m128i QuotientsOfFour(__m128i sums, const double* inverse) {
  const __m128d bias = _mm_set1_pd(1.0 / (1 << 20));
  const __m128d low = _mm_cvtepi32_pd(sums);
  const __m128d high = _mm_cvtepi32_pd(_mm_shuffle_epi32(sums, 0xEE));
  const __m128i qLow = _mm_cvttpd_epi32(_mm_add_pd(_mm_mul_pd(low, _mm_loadu_pd(inverse)), bias));
  const __m128i qHigh =
      _mm_cvttpd_epi32(_mm_add_pd(_mm_mul_pd(high, _mm_loadu_pd(inverse + 2)), bias));
  return _mm_unpacklo_epi64(qLow, qHigh);
}

}  // namespace

bool QuantizeBlock(const int16_t* in, const QuantizerTable& table, JCOEF* out) {
  const __m128i zero = _mm_setzero_si128();
  const __m128i largestAc = _mm_set1_epi32(static_cast<int32_t>(kLargestAc));
  // Lane 0 of the first group is the DC value, checked on its own below.
  const __m128i notDc = _mm_set_epi32(-1, -1, -1, 0);
  __m128i over = zero;
  for (int k = 0; k < DCTSIZE2; k += 8) {
    const __m128i values = _mm_loadu_si128(reinterpret_cast<const __m128i*>(in + k));
    const __m128i signs = _mm_srai_epi16(values, 15);
    // |value| as an unsigned 16-bit number (32768 included), widened to 32 bits.
    const __m128i magnitudes = _mm_sub_epi16(_mm_xor_si128(values, signs), signs);
    const __m128i sumLow =
        _mm_add_epi32(_mm_unpacklo_epi16(magnitudes, zero),
                      _mm_loadu_si128(reinterpret_cast<const __m128i*>(table.half + k)));
    const __m128i sumHigh =
        _mm_add_epi32(_mm_unpackhi_epi16(magnitudes, zero),
                      _mm_loadu_si128(reinterpret_cast<const __m128i*>(table.half + k + 4)));
    const __m128i low = QuotientsOfFour(sumLow, table.inverse + k);
    const __m128i high = QuotientsOfFour(sumHigh, table.inverse + k + 4);
    const __m128i overLow = _mm_cmpgt_epi32(low, largestAc);
    over = _mm_or_si128(over, _mm_or_si128(k == 0 ? _mm_and_si128(overLow, notDc) : overLow,
                                           _mm_cmpgt_epi32(high, largestAc)));
    // The sign back on (the quotients are at most 32768, so the pack never saturates).
    const __m128i signLow = _mm_unpacklo_epi16(signs, signs);
    const __m128i signHigh = _mm_unpackhi_epi16(signs, signs);
    const __m128i signedLow = _mm_sub_epi32(_mm_xor_si128(low, signLow), signLow);
    const __m128i signedHigh = _mm_sub_epi32(_mm_xor_si128(high, signHigh), signHigh);
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + k), _mm_packs_epi32(signedLow, signedHigh));
  }
  return _mm_movemask_epi8(over) == 0 && out[0] >= kSmallestDc && out[0] <= kLargestDc;
}

#else

bool QuantizeBlock(const int16_t* in, const QuantizerTable& table, JCOEF* out) {
  return QuantizeBlockPortable(in, table, out);
}

#endif

TSL_BOOL WriteLossless(const StoreView& image, CExif& exif, ErrorRecord& errors, FILE* file,
                       jpeg_destination_mgr* destination, const TesselSaveOptions& options,
                       const uint8_t* thumbnail, int32_t thumbnailLength) {
  if (!image.HasStore()) return 0;
  if (file == nullptr && destination == nullptr) return 0;
  WriteLayout layout;
  if (!ComputeWriteLayout(image, &layout)) return 0;
  // Everything the failure path reads is set before the jump buffer is armed.
  jpeg_compress_struct cinfo{};
  QuantizerTable tables[kMaxWrittenComponents];
  PlaneViews views;
  cinfo.err = PrepareErrorRecord(errors);
  if (TSL_ARM_ERRORS(errors)) {
    jpeg_destroy_compress(&cinfo);
    return 0;
  }
  jpeg_create_compress(&cinfo);
  // The library's prototype is not const; it only reads the header decompressor.
  jpeg_copy_critical_parameters(const_cast<j_decompress_ptr>(image.header), &cinfo);
  // The size the edits left; the library derives the components' block counts from it when the
  // coefficients are written.
  cinfo.image_width = static_cast<JDIMENSION>(image.width);
  cinfo.image_height = static_cast<JDIMENSION>(image.height);
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
  jvirt_barray_ptr* arrays = MakePlaneViews(&cinfo, layout, image.values, tables, &views);
  DecideJfifHeader(exif, &cinfo, options);
  jpeg_write_coefficients(&cinfo, arrays);
  exif.WriteMarkers(
      image.header->marker_list, &cinfo, options.bKeepComments, options.bKeepMetadata,
      options.iThumbnailMode, thumbnail,
      thumbnail != nullptr && thumbnailLength > 0 ? static_cast<uint32_t>(thumbnailLength) : 0);
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  return 1;
}
