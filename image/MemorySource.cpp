// SPDX-License-Identifier: MIT
// The memory source manager.
#include "image/MemorySource.h"

namespace {

void InitSource(j_decompress_ptr) {}

// The data are all in the buffer from the start: asking for more means they ended early.
boolean FillInputBuffer(j_decompress_ptr cinfo) {
  cinfo->err->msg_code = 0;
  cinfo->err->error_exit(reinterpret_cast<j_common_ptr>(cinfo));
  return FALSE;  // not reached: error_exit does not return
}

void SkipInputData(j_decompress_ptr cinfo, long count) {
  if (count <= 0) return;
  jpeg_source_mgr* src = cinfo->src;
  if (static_cast<unsigned long>(count) > src->bytes_in_buffer) {
    FillInputBuffer(cinfo);
    return;
  }
  src->next_input_byte += count;
  src->bytes_in_buffer -= static_cast<size_t>(count);
}

void TermSource(j_decompress_ptr) {}

}  // namespace

void AttachMemorySource(j_decompress_ptr cinfo, MemorySource* source, const uint8_t* data,
                        int32_t size) {
  source->pub.next_input_byte = data;
  source->pub.bytes_in_buffer = size > 0 ? static_cast<size_t>(size) : 0;
  source->pub.init_source = InitSource;
  source->pub.fill_input_buffer = FillInputBuffer;
  source->pub.skip_input_data = SkipInputData;
  source->pub.resync_to_restart = jpeg_resync_to_restart;
  source->pub.term_source = TermSource;
  cinfo->src = &source->pub;
}
