/* SPDX-License-Identifier: MIT */
/* A host written in C: creates an image object and calls it through the C view. */
/* clang-format off */
#include <stddef.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>
#include <jpeglib.h>
/* clang-format on */

#include "tessel/tessel.h"

#define CHECK(cond)                                                            \
  do {                                                                         \
    if (!(cond)) {                                                             \
      fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
      return 1;                                                                \
    }                                                                          \
  } while (0)

/* Writes a 37x21 grey-level ramp as a JPEG file. */
static int WriteSample(const char* path) {
  struct jpeg_compress_struct cinfo;
  struct jpeg_error_mgr jerr;
  unsigned char row[37];
  FILE* file = fopen(path, "wb");
  if (file == NULL) return 0;
  cinfo.err = jpeg_std_error(&jerr);
  jpeg_create_compress(&cinfo);
  jpeg_stdio_dest(&cinfo, file);
  cinfo.image_width = 37;
  cinfo.image_height = 21;
  cinfo.input_components = 1;
  cinfo.in_color_space = JCS_GRAYSCALE;
  jpeg_set_defaults(&cinfo);
  jpeg_start_compress(&cinfo, TRUE);
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW rows[1];
    int x;
    for (x = 0; x < 37; ++x) row[x] = (unsigned char)(x * 6 + cinfo.next_scanline);
    rows[0] = row;
    jpeg_write_scanlines(&cinfo, rows, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  fclose(file);
  return 1;
}

int main(void) {
  char path[] = "/tmp/tessel-c-api-XXXXXX";
  char16_t wide[64];
  size_t i;
  ITessel* image = NULL;
  void* same = NULL;
  void* none = (void*)1;
  void* extension = NULL;
  ITesselEx* ex = NULL;
  int64_t value = 0;
  TesselIID other = TSL_IID_ITessel;
  int fd = mkstemp(path);
  CHECK(fd >= 0);
  close(fd);
  CHECK(WriteSample(path));
  for (i = 0; path[i] != 0; ++i) wide[i] = (char16_t)path[i];
  wide[i] = 0;

  CHECK(CreateTesselObject(NULL) == TSL_E_POINTER);
  CHECK(CreateTesselObject(&image) == TSL_S_OK && image != NULL);
  CHECK(image->lpVtbl->QueryInterface(image, &TSL_IID_ITessel, &same) == TSL_S_OK);
  CHECK(same == (void*)image);
  CHECK(image->lpVtbl->Release(image) == 1); /* the reference QueryInterface added */
  other.Data4[7] ^= 1;
  CHECK(image->lpVtbl->QueryInterface(image, &other, &none) == TSL_E_NOINTERFACE);
  CHECK(none == NULL);
  CHECK(image->lpVtbl->IsOpen(image) == 0);
  CHECK(image->lpVtbl->Open(image, wide, 0) == 1);
  CHECK(image->lpVtbl->IsOpen(image) == 1);
  CHECK(image->lpVtbl->GetWidth(image) == 37);
  CHECK(image->lpVtbl->GetHeight(image) == 21);
  CHECK(image->lpVtbl->GetMCUWidth(image) == 8);
  CHECK(image->lpVtbl->IsGrayscale(image) == 1);
  /* The extension interface through its own table: same object, same count. */
  CHECK(image->lpVtbl->QueryInterface(image, &TSL_IID_ITesselEx, &extension) == TSL_S_OK);
  ex = (ITesselEx*)extension;
  CHECK(ex->lpVtbl->SetOption(ex, TSL_OPTION_THREADS, 1) == TSL_S_OK);
  CHECK(ex->lpVtbl->GetOption(ex, TSL_OPTION_THREADS, &value) == TSL_S_OK && value == 1);
  CHECK(ex->lpVtbl->SetOption(ex, -1, 0) == TSL_E_INVALIDARG);
  CHECK(ex->lpVtbl->GetLastError(ex) == TSL_ERROR_INVALID_ARGUMENT);
  CHECK(ex->lpVtbl->QueryInterface(ex, &TSL_IID_ITessel, &same) == TSL_S_OK);
  CHECK(same == (void*)image);
  CHECK(image->lpVtbl->Release(image) == 2);
  CHECK(ex->lpVtbl->Release(ex) == 1);
  CHECK(image->lpVtbl->Release(image) == 0);
  unlink(path);
  printf("1 passed, 0 failed\n");
  return 0;
}
