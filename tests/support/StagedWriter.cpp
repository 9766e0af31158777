// SPDX-License-Identifier: MIT
// The staged reference writer: the library's virtual block arrays, filled before writing.
#include "tests/support/StagedWriter.h"

#include <optional>
#include <vector>

#include "image/LosslessWriter.h"
#include "jpeg/CoefficientStore.h"
#include "jpeg/ErrorRecord.h"

namespace fixtures {
namespace {

// One virtual block array per component, Bc blocks by Rc rows, accessed vc rows at a time.
jvirt_barray_ptr* RequestArrays(j_compress_ptr cinfo, const StoreGeometry& geometry) {
  auto common = reinterpret_cast<j_common_ptr>(cinfo);
  auto* arrays = static_cast<jvirt_barray_ptr*>(cinfo->mem->alloc_small(
      common, JPOOL_IMAGE, sizeof(jvirt_barray_ptr) * static_cast<size_t>(cinfo->num_components)));
  for (int c = 0; c < cinfo->num_components; ++c) {
    arrays[c] = cinfo->mem->request_virt_barray(
        common, JPOOL_IMAGE, FALSE, static_cast<JDIMENSION>(geometry.planes[c].blocksPerRow),
        static_cast<JDIMENSION>(geometry.planes[c].blockRows),
        static_cast<JDIMENSION>(geometry.planes[c].v));
  }
  cinfo->mem->realize_virt_arrays(common);
  return arrays;
}

// Copies MCU row `row` of every plane into `staging`, then quantizes the real blocks of its vc
// block rows into the arrays. False when a value cannot be Huffman-coded.
bool FillMcuRow(j_compress_ptr cinfo, jvirt_barray_ptr* arrays, const StoreGeometry& geometry,
                const std::vector<QuantizerTable>& tables, const int16_t* store, int64_t row,
                std::vector<int16_t>& staging) {
  bool fits = true;
  for (int c = 0; c < geometry.components; ++c) {
    const PlaneGeometry& plane = geometry.planes[c];
    const int16_t* from = store + plane.BlockIndex(row * plane.v, 0);
    staging.assign(from, from + int64_t{64} * plane.blocksPerRow * plane.v);
    JBLOCKARRAY rows = cinfo->mem->access_virt_barray(
        reinterpret_cast<j_common_ptr>(cinfo), arrays[c], static_cast<JDIMENSION>(row * plane.v),
        static_cast<JDIMENSION>(plane.v), TRUE);
    for (int r = 0; r < plane.v; ++r) {
      for (int64_t x = 0; x < geometry.ImageBlocksAcross(c); ++x) {
        const int16_t* in = staging.data() + (int64_t{r} * plane.blocksPerRow + x) * 64;
        fits &= QuantizeBlock(in, tables[c], rows[r][x]);
      }
    }
  }
  return fits;
}

// Everything the failure path needs is set before the jump buffer is armed; the vectors are
// made by the caller, since a jump must not skip a destructor.
bool Write(CDllImage& image, FILE* file, const TesselSaveOptions& options,
           const StoreGeometry& geometry, std::vector<QuantizerTable>& tables,
           std::vector<int16_t>& staging) {
  ErrorRecord errors;
  jpeg_compress_struct cinfo{};
  cinfo.err = PrepareErrorRecord(errors);
  if (TSL_ARM_ERRORS(errors)) {
    jpeg_destroy_compress(&cinfo);
    return false;
  }
  jpeg_create_compress(&cinfo);
  jpeg_copy_critical_parameters(image.HeaderDecompressor(), &cinfo);
  cinfo.image_width = static_cast<JDIMENSION>(image.Width());
  cinfo.image_height = static_cast<JDIMENSION>(image.Height());
  cinfo.optimize_coding = options.bOptimize ? TRUE : FALSE;
  jpeg_stdio_dest(&cinfo, file);
  for (int c = 0; c < cinfo.num_components; ++c) {
    PrepareQuantizerTable(*cinfo.quant_tbl_ptrs[cinfo.comp_info[c].quant_tbl_no], &tables[c]);
  }
  jvirt_barray_ptr* arrays = RequestArrays(&cinfo, geometry);
  const bool jfif = image.Exif().WantJfifHeader(options.bKeepMetadata) != 0;
  cinfo.write_JFIF_header = cinfo.write_JFIF_header && jfif ? TRUE : FALSE;
  jpeg_write_coefficients(&cinfo, arrays);
  image.Exif().WriteMarkers(image.HeaderDecompressor()->marker_list, &cinfo, options.bKeepComments,
                            options.bKeepMetadata, options.iThumbnailMode, nullptr, 0);
  for (int64_t row = 0; row < geometry.mcuRows; ++row) {
    if (!FillMcuRow(&cinfo, arrays, geometry, tables, image.Coefficients(), row, staging)) {
      jpeg_destroy_compress(&cinfo);
      return false;
    }
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  return true;
}

}  // namespace

bool WriteStaged(CDllImage& image, FILE* file, const TesselSaveOptions& options) {
  const std::optional<StoreGeometry> geometry = image.View().Geometry();
  if (!geometry || geometry->components > 4) return false;
  std::vector<QuantizerTable> tables(static_cast<size_t>(geometry->components));
  std::vector<int16_t> staging;
  return Write(image, file, options, *geometry, tables, staging);
}

}  // namespace fixtures
