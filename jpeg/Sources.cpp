// SPDX-License-Identifier: MIT
// The memory and file source managers. Their operations are library callbacks: they own no
// object with a destructor, since a library error leaves them through longjmp.
#include "jpeg/Sources.h"

// clang-format off
#include <jerror.h>
// clang-format on

namespace {

// A fatal error of a source: message code `code` and the error record's exit.
[[noreturn]] void Fail(j_decompress_ptr cinfo, int code) {
  cinfo->err->msg_code = code;
  cinfo->err->error_exit(reinterpret_cast<j_common_ptr>(cinfo));
  // error_exit never returns; this keeps the promise of [[noreturn]] if it did.
  __builtin_unreachable();
}

void InitNothing(j_decompress_ptr) {}

void TermNothing(j_decompress_ptr) {}

// The data are all in the buffer from the start: asking for more means they ended early.
boolean FillFromMemory(j_decompress_ptr cinfo) { Fail(cinfo, 0); }

void SkipInMemory(j_decompress_ptr cinfo, long count) {
  if (count <= 0) return;
  jpeg_source_mgr* src = cinfo->src;
  if (static_cast<unsigned long>(count) > src->bytes_in_buffer) Fail(cinfo, 0);
  src->next_input_byte += count;
  src->bytes_in_buffer -= static_cast<size_t>(count);
}

// The file is read in larger pieces than the library's own stdio source takes (4 KB): its
// fast Huffman decoder only runs while the worst case of a whole MCU (512 bytes a block) is
// buffered, so small pieces send most MCUs of a large file down the slow path.
constexpr size_t kFileBufferSize = 64 * 1024;

struct FileSource {
  jpeg_source_mgr pub;
  FILE* file;
  JOCTET* buffer;
  bool started;  // some bytes have been read
};

FileSource* FileSourceOf(j_decompress_ptr cinfo) {
  return reinterpret_cast<FileSource*>(cinfo->src);
}

void StartFile(j_decompress_ptr cinfo) { FileSourceOf(cinfo)->started = false; }

boolean FillFromFile(j_decompress_ptr cinfo) {
  FileSource* src = FileSourceOf(cinfo);
  size_t count = std::fread(src->buffer, 1, kFileBufferSize, src->file);
  if (count == 0) {
    if (!src->started) Fail(cinfo, JERR_INPUT_EMPTY);
    cinfo->err->msg_code = JWRN_JPEG_EOF;
    cinfo->err->emit_message(reinterpret_cast<j_common_ptr>(cinfo), -1);
    src->buffer[0] = 0xFF;
    src->buffer[1] = JPEG_EOI;
    count = 2;
  }
  src->pub.next_input_byte = src->buffer;
  src->pub.bytes_in_buffer = count;
  src->started = true;
  return TRUE;
}

void SkipInFile(j_decompress_ptr cinfo, long count) {
  jpeg_source_mgr* src = cinfo->src;
  if (count <= 0) return;
  while (static_cast<size_t>(count) > src->bytes_in_buffer) {
    count -= static_cast<long>(src->bytes_in_buffer);
    FillFromFile(cinfo);
  }
  src->next_input_byte += count;
  src->bytes_in_buffer -= static_cast<size_t>(count);
}

}  // namespace

void AttachMemorySource(j_decompress_ptr cinfo, MemorySource* source, const uint8_t* data,
                        int32_t size) {
  source->pub.next_input_byte = data;
  source->pub.bytes_in_buffer = size > 0 ? static_cast<size_t>(size) : 0;
  source->pub.init_source = InitNothing;
  source->pub.fill_input_buffer = FillFromMemory;
  source->pub.skip_input_data = SkipInMemory;
  source->pub.resync_to_restart = jpeg_resync_to_restart;
  source->pub.term_source = TermNothing;
  cinfo->src = &source->pub;
}

void AttachFileSource(j_decompress_ptr cinfo, FILE* file) {
  const auto common = reinterpret_cast<j_common_ptr>(cinfo);
  auto* src = static_cast<FileSource*>(
      (*cinfo->mem->alloc_small)(common, JPOOL_PERMANENT, sizeof(FileSource)));
  src->buffer =
      static_cast<JOCTET*>((*cinfo->mem->alloc_large)(common, JPOOL_PERMANENT, kFileBufferSize));
  src->file = file;
  src->started = false;
  src->pub.next_input_byte = nullptr;
  src->pub.bytes_in_buffer = 0;
  src->pub.init_source = StartFile;
  src->pub.fill_input_buffer = FillFromFile;
  src->pub.skip_input_data = SkipInFile;
  src->pub.resync_to_restart = jpeg_resync_to_restart;
  src->pub.term_source = TermNothing;
  cinfo->src = &src->pub;
}

void AttachJpegInput(j_decompress_ptr cinfo, const JpegInput& input, MemorySource* memory) {
  if (input.file != nullptr) {
    std::fseek(input.file, 0, SEEK_SET);
    jpeg_stdio_src(cinfo, input.file);
  } else {
    AttachMemorySource(cinfo, memory, input.data, input.size);
  }
}
