// SPDX-License-Identifier: MIT
// The coefficient loader.
//
// The header decompressor has read the header; a second, temporary decompression object reads
// the whole stream with jpeg_read_coefficients, and its quantized coefficients are multiplied by
// their quantizers into the store. The store is laid out in whole MCUs of the header's sampling;
// the blocks beyond a component's real block counts are filler and are set to zero.
//
// The library asks its memory manager for one virtual block array per component, padded to
// whole MCUs: exactly the geometry of that component's plane in the store. So the loader lends
// the library the store itself: its memory manager's virtual-array methods are wrapped, and an
// array whose size matches the next plane is served from that plane. The library then decodes
// straight into the store, the quantizers are applied in place, and neither a second copy of
// the image nor its page faults are paid for. An array of any other shape (a stream the store
// was not laid out for) comes from the library as usual and is copied into the store.
#include "image/CoefficientLoader.h"

#include <cstring>
#include <optional>

#include "jpeg/ErrorRecord.h"
#include "jpeg/Sources.h"

namespace {

// One component's virtual block array served from its plane in the store.
struct PlaneArray {
  JBLOCKARRAY rows;  // a pointer to each block row of the plane, from the library's pool
  JDIMENSION blocksPerRow;
  JDIMENSION blockRows;
};

// The wrapped memory-manager methods and what they need. Plain data: it lives in the loader's
// frame, reachable from the decompressor's client_data, and holds no destructor.
struct StoreArrays {
  jvirt_barray_ptr (*request)(j_common_ptr, int, boolean, JDIMENSION, JDIMENSION, JDIMENSION);
  JBLOCKARRAY (*access)(j_common_ptr, jvirt_barray_ptr, JDIMENSION, JDIMENSION, boolean);
  int16_t* store;
  const PlaneGeometry* planes;
  int components;
  int requested;  // planes handed out so far, in component order
  PlaneArray arrays[MAX_COMPONENTS];
};

StoreArrays* ArraysOf(j_common_ptr cinfo) { return static_cast<StoreArrays*>(cinfo->client_data); }

PlaneArray* OwnArray(StoreArrays* self, jvirt_barray_ptr array) {
  for (int c = 0; c < self->requested; ++c) {
    if (reinterpret_cast<jvirt_barray_ptr>(&self->arrays[c]) == array) return &self->arrays[c];
  }
  return nullptr;
}

// Serves the next component's array from its plane when the shape matches (the store is
// pre-zeroed, as the library asks for); anything else goes to the library.
jvirt_barray_ptr RequestArray(j_common_ptr cinfo, int pool, boolean preZero,
                              JDIMENSION blocksPerRow, JDIMENSION blockRows, JDIMENSION maxAccess) {
  StoreArrays* self = ArraysOf(cinfo);
  const int c = self->requested;
  if (pool == JPOOL_IMAGE && c < self->components &&
      static_cast<int64_t>(blocksPerRow) == self->planes[c].blocksPerRow &&
      static_cast<int64_t>(blockRows) == self->planes[c].blockRows) {
    PlaneArray& array = self->arrays[c];
    array.blocksPerRow = blocksPerRow;
    array.blockRows = blockRows;
    array.rows = static_cast<JBLOCKARRAY>(
        cinfo->mem->alloc_large(cinfo, JPOOL_IMAGE, sizeof(JBLOCKROW) * size_t{blockRows}));
    auto* plane = reinterpret_cast<JBLOCKROW>(self->store + self->planes[c].offset);
    for (JDIMENSION r = 0; r < blockRows; ++r) array.rows[r] = plane + size_t{r} * blocksPerRow;
    self->requested = c + 1;
    return reinterpret_cast<jvirt_barray_ptr>(&array);
  }
  self->components = c;  // the order is broken: no later plane is lent either
  return self->request(cinfo, pool, preZero, blocksPerRow, blockRows, maxAccess);
}

JBLOCKARRAY AccessArray(j_common_ptr cinfo, jvirt_barray_ptr ptr, JDIMENSION startRow,
                        JDIMENSION numRows, boolean writable) {
  StoreArrays* self = ArraysOf(cinfo);
  PlaneArray* array = OwnArray(self, ptr);
  if (array == nullptr) return self->access(cinfo, ptr, startRow, numRows, writable);
  if (size_t{startRow} + numRows > array->blockRows) {
    cinfo->err->msg_code = 0;  // an access outside the plane: fail as the library would
    cinfo->err->error_exit(cinfo);
  }
  return array->rows + startRow;
}

void LendStore(j_decompress_ptr cinfo, StoreArrays* arrays) {
  cinfo->client_data = arrays;
  arrays->request = cinfo->mem->request_virt_barray;
  arrays->access = cinfo->mem->access_virt_barray;
  cinfo->mem->request_virt_barray = RequestArray;
  cinfo->mem->access_virt_barray = AccessArray;
}

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

// out[k] = in[k] * quant[k] truncated to 16 bits: the 32-bit product of the file's coefficient
// and its quantizer keeps its low 16 bits (only out-of-range files can wrap), which a 16-bit
// multiply gives directly. `in` and `out` may be the same block.
void DequantizeBlock(const JCOEF* in, const uint16_t* quant, int16_t* out) {
  for (int k = 0; k < DCTSIZE2; ++k) {
    out[k] = static_cast<int16_t>(static_cast<uint32_t>(static_cast<uint16_t>(in[k])) * quant[k]);
  }
}

// Fills one plane of the store from the component's decoded blocks: real blocks multiplied by
// their quantizers, filler blocks zero. `rowAt(r)` gives block row r of the decoded array, which
// may be the plane's own row (the multiply then works in place).
template <typename RowAt>
void FillPlane(const jpeg_component_info& comp, const JQUANT_TBL& q, const PlaneGeometry& plane,
               int16_t* out, RowAt&& rowAt) {
  uint16_t quant[DCTSIZE2];
  for (int k = 0; k < DCTSIZE2; ++k) quant[k] = q.quantval[k];
  const size_t realWidth = comp.width_in_blocks;
  const size_t realHeight = comp.height_in_blocks;
  const size_t rowValues = size_t{64} * static_cast<size_t>(plane.blocksPerRow);
  for (size_t r = 0; r < realHeight; ++r) {
    const JBLOCKROW blocks = rowAt(static_cast<JDIMENSION>(r));
    int16_t* row = out + r * rowValues;
    for (size_t x = 0; x < realWidth; ++x) DequantizeBlock(blocks[x], quant, row + x * DCTSIZE2);
    std::memset(row + realWidth * DCTSIZE2, 0,
                (rowValues - realWidth * DCTSIZE2) * sizeof(int16_t));
  }
  const size_t fillerRows = static_cast<size_t>(plane.blockRows) - realHeight;
  std::memset(out + realHeight * rowValues, 0, fillerRows * rowValues * sizeof(int16_t));
}

// The quantization table the library attached to the component (the one its scans used), or
// the table in the component's slot when no scan latched one.
const JQUANT_TBL* ComponentTable(const jpeg_decompress_struct& cinfo,
                                 const jpeg_component_info& comp) {
  if (comp.quant_table != nullptr) return comp.quant_table;
  if (comp.quant_tbl_no < 0 || comp.quant_tbl_no >= NUM_QUANT_TBLS) return nullptr;
  return cinfo.quant_tbl_ptrs[comp.quant_tbl_no];
}

}  // namespace

bool LoadCoefficients(const jpeg_decompress_struct& header, const JpegInput& input,
                      CoefficientArray* store, int32_t* count, bool lendStore) {
  // Everything the failure path reads lives in this frame and is set before the jump buffer is
  // armed, or is volatile.
  ErrorRecord record;
  jpeg_decompress_struct cinfo{};
  MemorySource memory{};
  StoreArrays lent{};
  std::optional<StoreGeometry> geometry;
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
  geometry = StoreGeometry::ForImage(header, cinfo.image_width, cinfo.image_height);
  if (!SameFrame(header, cinfo) || !geometry || cinfo.num_components > MAX_COMPONENTS) {
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  const PlaneGeometry* planes = geometry->planes;
  values = AllocateZeroedCoefficients(static_cast<size_t>(geometry->values)).release();
  if (values == nullptr) {
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  lent.store = values;
  lent.planes = planes;
  lent.components = cinfo.num_components;
  if (lendStore) LendStore(&cinfo, &lent);
  jvirt_barray_ptr* arrays = jpeg_read_coefficients(&cinfo);
  for (int c = 0; c < cinfo.num_components; ++c) {
    const jpeg_component_info& comp = cinfo.comp_info[c];
    const JQUANT_TBL* q = ComponentTable(cinfo, comp);
    if (q == nullptr) {
      jpeg_destroy_decompress(&cinfo);
      CoefficientDeleter()(values);
      return false;
    }
    int16_t* plane = values + planes[c].offset;
    if (PlaneArray* own = OwnArray(&lent, arrays[c])) {
      FillPlane(comp, *q, planes[c], plane, [&](JDIMENSION r) { return own->rows[r]; });
    } else {
      FillPlane(comp, *q, planes[c], plane, [&](JDIMENSION r) {
        return cinfo.mem->access_virt_barray(reinterpret_cast<j_common_ptr>(&cinfo), arrays[c], r,
                                             1, FALSE)[0];
      });
    }
  }
  jpeg_destroy_decompress(&cinfo);
  store->reset(values);
  *count = static_cast<int32_t>(geometry->values);
  return true;
}
