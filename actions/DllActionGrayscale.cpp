// SPDX-License-Identifier: MIT
// Dropping the colour components of a YCbCr image, and giving them back.
#include "actions/DllActionGrayscale.h"

#include <algorithm>
#include <cstring>
#include <utility>

#include "actions/NewStore.h"
#include "jpeg/CoefficientStore.h"

namespace {

constexpr int kLuminance = 0;

// Copies `rows` rows of `cols` blocks between planes whose rows hold `fromStride` and
// `toStride` blocks.
void CopyBlockRows(const int16_t* from, int64_t fromStride, int16_t* to, int64_t toStride,
                   int64_t cols, int64_t rows) {
  for (int64_t r = 0; r < rows; ++r) {
    std::memcpy(to + r * toStride * 64, from + r * fromStride * 64,
                static_cast<size_t>(cols) * 64 * sizeof(int16_t));
  }
}

// The luminance blocks outside the first `cols` x `rows` blocks of a plane of `stride` x
// `planeRows` blocks, as runs: the end of each of the first `rows` rows, then the rows below.
// Each run is handed to `move` as (first value, value count).
template <typename Move>
void ForEachLeftOutRun(int16_t* plane, int64_t stride, int64_t planeRows, int64_t cols,
                       int64_t rows, Move move) {
  if (stride > cols) {
    for (int64_t r = 0; r < rows; ++r) move(plane + (r * stride + cols) * 64, (stride - cols) * 64);
  }
  if (planeRows > rows) move(plane + rows * stride * 64, (planeRows - rows) * stride * 64);
}

}  // namespace

TSL_BOOL CDllActionGrayscale::Execute() {
  jpeg_decompress_struct& info = *m_pImage->HeaderDecompressor();
  if (info.jpeg_color_space != JCS_YCbCr) return 0;
  // A luminance plane sampled below the largest factors does not cover the image at one
  // block per 8x8 pixels; alone it would be a different picture.
  const jpeg_component_info& luma = info.comp_info[kLuminance];
  if (luma.h_samp_factor != info.max_h_samp_factor ||
      luma.v_samp_factor != info.max_v_samp_factor) {
    return 0;
  }
  const std::optional<StoreGeometry> old = m_pImage->Geometry();
  const std::optional<StoreGeometry> shape =
      StoreGeometry::ForImage(SamplingFactors::Gray(), m_pImage->Width(), m_pImage->Height());
  std::optional<NewStore> next = old && shape ? NewStore::Allocate(*shape) : std::nullopt;
  if (!next) return 0;

  // The grid of an 8x8-MCU grayscale image: ceil(W / 8) x ceil(H / 8) blocks.
  const int64_t cols = shape->planes[0].blocksPerRow;
  const int64_t rows = shape->planes[0].blockRows;
  const PlaneGeometry* planes = old->planes;
  int16_t* store = m_pImage->Coefficients();
  CopyBlockRows(store + planes[kLuminance].offset, planes[kLuminance].blocksPerRow, next->Values(),
                cols, cols, rows);
  m_iColourSpace = info.jpeg_color_space;
  m_iComponents = std::min(info.num_components, MAX_COMPONENTS);
  std::copy(info.comp_info, info.comp_info + m_iComponents, m_aRecords);
  if (m_pUndoStore != nullptr) {
    m_pUndoStore->Write(info.comp_info,
                        static_cast<uint32_t>(m_iComponents * sizeof(jpeg_component_info)));
    for (int c = 1; c < m_iComponents; ++c) {
      m_pUndoStore->Write(store + planes[c].offset,
                          static_cast<uint32_t>(planes[c].Values() * sizeof(int16_t)));
    }
    // The luminance blocks the new store leaves out (filler of the old sampling, or blocks an
    // earlier crop counted): an undo gives them back too, since a later edit may show them.
    const PlaneGeometry& luma = planes[kLuminance];
    ForEachLeftOutRun(store + luma.offset, luma.blocksPerRow, luma.blockRows, cols, rows,
                      [&](const int16_t* run, int64_t count) {
                        m_pUndoStore->Write(run, static_cast<uint32_t>(count * sizeof(int16_t)));
                      });
  }
  next->HandTo(*m_pImage);

  info.jpeg_color_space = JCS_GRAYSCALE;
  info.num_components = 1;
  info.max_h_samp_factor = 1;
  info.max_v_samp_factor = 1;
  jpeg_component_info& gray = info.comp_info[kLuminance];
  gray.component_id = 1;
  gray.h_samp_factor = 1;
  gray.v_samp_factor = 1;
  // The quantization table number stays: the store's values were dequantized with that table,
  // and the writer quantizes them again with whatever table the component names.
  gray.dc_tbl_no = 0;
  gray.ac_tbl_no = 0;
  gray.width_in_blocks = static_cast<JDIMENSION>(cols);
  gray.height_in_blocks = static_cast<JDIMENSION>(rows);
  return 1;
}

TSL_BOOL CDllActionGrayscale::Revert() {
  jpeg_decompress_struct& info = *m_pImage->HeaderDecompressor();
  // The layout before the edit, from the kept records.
  const SamplingFactors before = SamplingFactors::Of(m_aRecords, m_iComponents);
  const std::optional<StoreGeometry> colour =
      StoreGeometry::ForImage(before, m_pImage->Width(), m_pImage->Height());
  std::optional<NewStore> store = colour ? NewStore::Allocate(*colour) : std::nullopt;
  if (!store) return 0;

  // The records are read to keep the record's byte sequence; the kept copy is what is restored.
  jpeg_component_info records[MAX_COMPONENTS];
  m_pUndoStore->Read(records, static_cast<uint32_t>(m_iComponents * sizeof(jpeg_component_info)));
  const int64_t cols = info.comp_info[kLuminance].width_in_blocks;
  const int64_t rows = info.comp_info[kLuminance].height_in_blocks;
  const PlaneGeometry* planes = colour->planes;
  const PlaneGeometry& luma = planes[kLuminance];
  int16_t* values = store->Values();
  int16_t* plane = values + luma.offset;
  CopyBlockRows(m_pImage->Coefficients(), cols, plane, luma.blocksPerRow, cols, rows);
  // What the store cannot deliver comes back as zeros.
  const auto read = [&](int16_t* run, int64_t count) {
    const size_t bytes = static_cast<size_t>(count) * sizeof(int16_t);
    if (!m_pUndoStore->Read(run, static_cast<uint32_t>(bytes))) std::memset(run, 0, bytes);
  };
  for (int c = 1; c < m_iComponents; ++c) read(values + planes[c].offset, planes[c].Values());
  ForEachLeftOutRun(plane, luma.blocksPerRow, luma.blockRows, cols, rows, read);

  std::copy(m_aRecords, m_aRecords + m_iComponents, info.comp_info);
  info.jpeg_color_space = static_cast<J_COLOR_SPACE>(m_iColourSpace);
  info.num_components = m_iComponents;
  info.max_h_samp_factor = before.hMax;
  info.max_v_samp_factor = before.vMax;
  store->HandTo(*m_pImage);
  return 1;
}
