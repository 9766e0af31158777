// SPDX-License-Identifier: MIT
// Test fixtures written and read with libjpeg.
#include "tests/support/JpegFixtures.h"

#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <sstream>

#include "jpeg/ErrorRecord.h"

namespace fixtures {
namespace {

int InputComponents(Space space) {
  switch (space) {
    case Space::kGray:
      return 1;
    case Space::kCMYK:
    case Space::kYCCK:
      return 4;
    default:
      return 3;
  }
}

J_COLOR_SPACE InputSpace(Space space) {
  switch (space) {
    case Space::kGray:
      return JCS_GRAYSCALE;
    case Space::kCMYK:
    case Space::kYCCK:
      return JCS_CMYK;
    default:
      return JCS_RGB;
  }
}

J_COLOR_SPACE JpegSpace(Space space) {
  switch (space) {
    case Space::kGray:
      return JCS_GRAYSCALE;
    case Space::kRGB:
      return JCS_RGB;
    case Space::kCMYK:
      return JCS_CMYK;
    case Space::kYCCK:
      return JCS_YCCK;
    default:
      return JCS_YCbCr;
  }
}

const char* SpaceName(Space space) {
  switch (space) {
    case Space::kGray:
      return "gray";
    case Space::kRGB:
      return "rgb";
    case Space::kCMYK:
      return "cmyk";
    case Space::kYCCK:
      return "ycck";
    default:
      return "ycc";
  }
}

// Configures and runs the compressor. Returns false on a library error.
bool Compress(const Recipe& recipe, const Bytes& pixels, unsigned char** out, unsigned long* size) {
  ErrorRecord errors;
  jpeg_compress_struct cinfo{};
  cinfo.err = PrepareErrorRecord(errors);
  if (TSL_ARM_ERRORS(errors)) {
    jpeg_destroy_compress(&cinfo);
    return false;
  }
  jpeg_create_compress(&cinfo);
  jpeg_mem_dest(&cinfo, out, size);
  cinfo.image_width = static_cast<JDIMENSION>(recipe.width);
  cinfo.image_height = static_cast<JDIMENSION>(recipe.height);
  cinfo.input_components = InputComponents(recipe.space);
  cinfo.in_color_space = InputSpace(recipe.space);
  jpeg_set_defaults(&cinfo);
  jpeg_set_colorspace(&cinfo, JpegSpace(recipe.space));
  if (!recipe.sampling.empty()) {
    for (int c = 0; c < cinfo.num_components && c < static_cast<int>(recipe.sampling.size()); ++c) {
      cinfo.comp_info[c].h_samp_factor = recipe.sampling[c].first;
      cinfo.comp_info[c].v_samp_factor = recipe.sampling[c].second;
    }
  }
  jpeg_set_quality(&cinfo, recipe.quality, TRUE);
  if (recipe.progressive) jpeg_simple_progression(&cinfo);
  cinfo.arith_code = recipe.arithmetic ? TRUE : FALSE;
  cinfo.optimize_coding = recipe.optimize ? TRUE : FALSE;
  cinfo.restart_interval = static_cast<unsigned int>(recipe.restartInterval);
  if (!recipe.writeJfif) cinfo.write_JFIF_header = FALSE;
  jpeg_start_compress(&cinfo, TRUE);
  for (const Marker& m : recipe.markers) {
    jpeg_write_marker(&cinfo, m.code, m.payload.data(), static_cast<unsigned>(m.payload.size()));
  }
  const size_t rowBytes = static_cast<size_t>(recipe.width) * cinfo.input_components;
  while (cinfo.next_scanline < cinfo.image_height) {
    JSAMPROW row = const_cast<JSAMPROW>(pixels.data() + cinfo.next_scanline * rowBytes);
    jpeg_write_scanlines(&cinfo, &row, 1);
  }
  jpeg_finish_compress(&cinfo);
  jpeg_destroy_compress(&cinfo);
  return true;
}

}  // namespace

std::string Recipe::Name() const {
  // Built by streaming rather than by adding strings: GCC 12 at -O3 sees a false overlap
  // (-Wrestrict) in `"_" + std::to_string(...)`.
  std::ostringstream name;
  name << SpaceName(space);
  for (const auto& [h, v] : sampling) name << '_' << h << v;
  name << '_' << width << 'x' << height;
  if (progressive) name << "_prog";
  if (arithmetic) name << "_arith";
  if (restartInterval > 0) name << "_rst" << restartInterval;
  if (!markers.empty()) name << "_markers";
  if (optimize) name << "_opt";
  return name.str();
}

std::vector<std::pair<int, int>> Sampling(const std::string& name) {
  if (name == "444") return {{1, 1}, {1, 1}, {1, 1}};
  if (name == "422") return {{2, 1}, {1, 1}, {1, 1}};
  if (name == "440") return {{1, 2}, {1, 1}, {1, 1}};
  if (name == "420") return {{2, 2}, {1, 1}, {1, 1}};
  if (name == "411") return {{4, 1}, {1, 1}, {1, 1}};
  if (name == "gray") return {{1, 1}};
  return {};
}

Recipe Make(int width, int height, const std::string& sampling, Space space) {
  Recipe recipe;
  recipe.width = width;
  recipe.height = height;
  recipe.space = space;
  recipe.sampling = Sampling(sampling);
  return recipe;
}

Bytes Pixels(const Recipe& recipe) {
  const int components = InputComponents(recipe.space);
  Bytes pixels(static_cast<size_t>(recipe.width) * recipe.height * components);
  uint32_t state = recipe.seed * 2654435761u + 12345u;
  size_t i = 0;
  for (int y = 0; y < recipe.height; ++y) {
    for (int x = 0; x < recipe.width; ++x) {
      for (int c = 0; c < components; ++c) {
        state = state * 1664525u + 1013904223u;
        const int noise = static_cast<int>((state >> 24) % 41) - 20;
        // Gradients in different directions per channel, a hard edge, and noise.
        int value = 40 + (x * (3 + c) + y * (5 - c)) % 180 + noise;
        if (((x / 5) + (y / 7) + c) % 3 == 0) value += 30;
        pixels[i++] = static_cast<uint8_t>(value < 0 ? 0 : value > 255 ? 255 : value);
      }
    }
  }
  return pixels;
}

Bytes Write(const Recipe& recipe) {
  const Bytes pixels = Pixels(recipe);
  unsigned char* out = nullptr;
  unsigned long size = 0;
  if (!Compress(recipe, pixels, &out, &size)) {
    std::fprintf(stderr, "fixture %s could not be written\n", recipe.Name().c_str());
    std::abort();
  }
  Bytes bytes(out, out + size);
  std::free(out);
  return bytes;
}

bool WithHeaderRead(const Bytes& jpeg, const std::function<void(j_decompress_ptr)>& body,
                    const std::function<void(j_decompress_ptr)>& prepare) {
  ErrorRecord errors;
  jpeg_decompress_struct cinfo{};
  cinfo.err = PrepareErrorRecord(errors);
  if (TSL_ARM_ERRORS(errors)) {
    jpeg_destroy_decompress(&cinfo);
    return false;
  }
  jpeg_create_decompress(&cinfo);
  jpeg_mem_src(&cinfo, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
  if (prepare) prepare(&cinfo);
  jpeg_read_header(&cinfo, TRUE);
  body(&cinfo);
  jpeg_destroy_decompress(&cinfo);
  return true;
}

namespace {

// Fills `out` from a decompressor whose header has been read.
void ReadCoefficientsFrom(jpeg_decompress_struct& cinfo, Coefficients* out) {
  jvirt_barray_ptr* arrays = jpeg_read_coefficients(&cinfo);
  out->width = static_cast<int>(cinfo.image_width);
  out->height = static_cast<int>(cinfo.image_height);
  out->colourSpace = cinfo.jpeg_color_space;
  out->maxH = cinfo.max_h_samp_factor;
  out->maxV = cinfo.max_v_samp_factor;
  out->progressive = cinfo.progressive_mode != 0;
  out->arithmetic = cinfo.arith_code != 0;
  out->restartInterval = static_cast<int>(cinfo.restart_interval);
  out->components.assign(static_cast<size_t>(cinfo.num_components), Component{});
  for (int c = 0; c < cinfo.num_components; ++c) {
    const jpeg_component_info& comp = cinfo.comp_info[c];
    Component& dst = out->components[static_cast<size_t>(c)];
    dst.h = comp.h_samp_factor;
    dst.v = comp.v_samp_factor;
    dst.widthInBlocks = static_cast<int>(comp.width_in_blocks);
    dst.heightInBlocks = static_cast<int>(comp.height_in_blocks);
    dst.quantTableNo = comp.quant_tbl_no;
    const JQUANT_TBL* q =
        comp.quant_table != nullptr ? comp.quant_table : cinfo.quant_tbl_ptrs[comp.quant_tbl_no];
    dst.quant.assign(q->quantval, q->quantval + DCTSIZE2);
    dst.coefficients.resize(size_t{64} * dst.widthInBlocks * dst.heightInBlocks);
    int16_t* p = dst.coefficients.data();
    for (JDIMENSION row = 0; row < comp.height_in_blocks; ++row) {
      JBLOCKARRAY rows = cinfo.mem->access_virt_barray(reinterpret_cast<j_common_ptr>(&cinfo),
                                                       arrays[c], row, 1, FALSE);
      for (JDIMENSION x = 0; x < comp.width_in_blocks; ++x) {
        std::memcpy(p, rows[0][x], sizeof(JBLOCK));
        p += DCTSIZE2;
      }
    }
  }
}

}  // namespace

bool ReadCoefficients(const Bytes& jpeg, Coefficients* out) {
  return WithHeaderRead(jpeg, [&](j_decompress_ptr cinfo) { ReadCoefficientsFrom(*cinfo, out); });
}

std::vector<int16_t> ExpectedStore(const Coefficients& c) {
  const int mcuW = 8 * c.maxH, mcuH = 8 * c.maxV;
  const int mx = (c.width + mcuW - 1) / mcuW, my = (c.height + mcuH - 1) / mcuH;
  std::vector<int16_t> store;
  for (const Component& comp : c.components) {
    const int bc = mx * comp.h, rc = my * comp.v;
    const size_t base = store.size();
    store.resize(base + size_t{64} * bc * rc, 0);
    for (int r = 0; r < comp.heightInBlocks; ++r) {
      for (int x = 0; x < comp.widthInBlocks; ++x) {
        const int16_t* in = &comp.coefficients[(size_t{1} * r * comp.widthInBlocks + x) * 64];
        int16_t* out = &store[base + (size_t{1} * r * bc + x) * 64];
        for (int k = 0; k < 64; ++k) out[k] = static_cast<int16_t>(in[k] * comp.quant[k]);
      }
    }
  }
  return store;
}

bool Decode(const Bytes& jpeg, J_COLOR_SPACE outSpace, J_DCT_METHOD dct, bool fancyUpsampling,
            Decoded* out) {
  return WithHeaderRead(jpeg, [&](j_decompress_ptr cinfo) {
    cinfo->out_color_space = outSpace;
    cinfo->dct_method = dct;
    cinfo->do_fancy_upsampling = fancyUpsampling ? TRUE : FALSE;
    jpeg_start_decompress(cinfo);
    out->width = static_cast<int>(cinfo->output_width);
    out->height = static_cast<int>(cinfo->output_height);
    out->components = cinfo->output_components;
    const size_t rowBytes = size_t{cinfo->output_width} * cinfo->output_components;
    out->pixels.assign(rowBytes * cinfo->output_height, 0);
    while (cinfo->output_scanline < cinfo->output_height) {
      JSAMPROW row = out->pixels.data() + rowBytes * cinfo->output_scanline;
      jpeg_read_scanlines(cinfo, &row, 1);
    }
    jpeg_finish_decompress(cinfo);
  });
}

bool ReadMarkers(const Bytes& jpeg, std::vector<Marker>* out) {
  const auto saveMarkers = [](j_decompress_ptr cinfo) {
    jpeg_save_markers(cinfo, JPEG_COM, 0xFFFF);
    for (int code = JPEG_APP0; code <= JPEG_APP0 + 15; ++code)
      jpeg_save_markers(cinfo, code, 0xFFFF);
  };
  return WithHeaderRead(
      jpeg,
      [&](j_decompress_ptr cinfo) {
        for (jpeg_saved_marker_ptr m = cinfo->marker_list; m != nullptr; m = m->next) {
          out->push_back(Marker{m->marker, Bytes(m->data, m->data + m->data_length)});
        }
      },
      saveMarkers);
}

Bytes ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

void WriteFile(const std::filesystem::path& path, const Bytes& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(reinterpret_cast<const char*>(bytes.data()),
            static_cast<std::streamsize>(bytes.size()));
}

std::filesystem::path CorpusDir() {
  if (const char* env = std::getenv("TESSEL_CORPUS")) {
    if (std::filesystem::is_directory(env)) return env;
  }
  const std::filesystem::path dir =
      std::filesystem::path(TESSEL_SOURCE_DIR) / ".." / "shared" / "corpus";
  return std::filesystem::is_directory(dir) ? dir : std::filesystem::path();
}

std::vector<std::filesystem::path> CorpusFiles(const std::string& subdir) {
  std::vector<std::filesystem::path> files;
  const std::filesystem::path root = CorpusDir();
  if (root.empty() || !std::filesystem::is_directory(root / subdir)) return files;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root / subdir)) {
    if (!entry.is_regular_file()) continue;
    std::string ext = entry.path().extension().string();
    for (char& ch : ext) ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    if (ext == ".jpg" || ext == ".jpeg") files.push_back(entry.path());
  }
  std::sort(files.begin(), files.end());
  return files;
}

TempDir::TempDir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "tessel-test-XXXXXX").string();
  if (mkdtemp(pattern.data()) == nullptr) std::abort();
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ignored;
  // Tests may leave read-only files behind; make them writable so they can be removed.
  for (const auto& entry : std::filesystem::recursive_directory_iterator(path_, ignored)) {
    std::filesystem::permissions(entry.path(), std::filesystem::perms::owner_all,
                                 std::filesystem::perm_options::add, ignored);
  }
  std::filesystem::remove_all(path_, ignored);
}

std::vector<Recipe> StandardKinds() {
  std::vector<Recipe> kinds;
  const auto add = [&](Recipe s) { kinds.push_back(std::move(s)); };
  add(Make(8, 8, "gray", Space::kGray));
  add(Make(1, 1, "gray", Space::kGray));
  add(Make(33, 17, "gray", Space::kGray));
  add(Make(1, 1, "420"));
  add(Make(16, 16, "444"));
  add(Make(17, 9, "444"));
  add(Make(33, 17, "422"));
  add(Make(17, 33, "440"));
  add(Make(17, 9, "420"));
  add(Make(64, 48, "420"));
  add(Make(37, 11, "411"));
  add(Make(21, 13, "444", Space::kRGB));
  add(Make(19, 11, "", Space::kCMYK));
  add(Make(19, 11, "", Space::kYCCK));
  Recipe progressive = Make(40, 30, "420");
  progressive.progressive = true;
  add(progressive);
  Recipe restart = Make(40, 30, "420");
  restart.restartInterval = 1;
  add(restart);
  Recipe arithmetic = Make(40, 30, "422");
  arithmetic.arithmetic = true;
  add(arithmetic);
  Recipe arithmeticProgressive = Make(23, 19, "444");
  arithmeticProgressive.arithmetic = true;
  arithmeticProgressive.progressive = true;
  add(arithmeticProgressive);
  Recipe withMarkers = Make(17, 9, "420");
  withMarkers.markers = {{JPEG_COM, {'h', 'e', 'l', 'l', 'o'}},
                         {JPEG_APP0 + 1, {'X', 'M', 'P', 0, 1, 2}},
                         {JPEG_APP0 + 2, Bytes(300, 7)},
                         {JPEG_APP0 + 15, {'z'}}};
  add(withMarkers);
  return kinds;
}

}  // namespace fixtures
