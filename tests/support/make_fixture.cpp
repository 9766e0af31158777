// SPDX-License-Identifier: MIT
// make_fixture OUT.jpg [WIDTHxHEIGHT] [SAMPLING] [SPACE] [progressive|arithmetic|restart]...
// Writes one generated JPEG: the project's own sample for scripts, benchmarks and the README.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "tests/support/JpegFixtures.h"

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr,
                 "usage: make_fixture OUT.jpg [WxH] [444|422|440|420|411|gray] "
                 "[ycc|gray|rgb|cmyk|ycck] [progressive] [arithmetic] [restart] [q=N]\n");
    return 2;
  }
  fixtures::Recipe recipe = fixtures::Make(227, 149, "420");
  for (int i = 2; i < argc; ++i) {
    const std::string arg = argv[i];
    int w = 0, h = 0;
    if (std::sscanf(arg.c_str(), "%dx%d", &w, &h) == 2 && w > 0 && h > 0) {
      recipe.width = w;
      recipe.height = h;
    } else if (arg == "gray") {
      recipe.space = fixtures::Space::kGray;
    } else if (!fixtures::Sampling(arg).empty()) {
      recipe.sampling = fixtures::Sampling(arg);
    } else if (arg == "ycc") {
      recipe.space = fixtures::Space::kYCbCr;
    } else if (arg == "rgb") {
      recipe.space = fixtures::Space::kRGB;
    } else if (arg == "cmyk" || arg == "ycck") {
      recipe.space = arg == "cmyk" ? fixtures::Space::kCMYK : fixtures::Space::kYCCK;
      recipe.sampling.clear();
    } else if (arg == "progressive") {
      recipe.progressive = true;
    } else if (arg == "arithmetic") {
      recipe.arithmetic = true;
    } else if (arg == "restart") {
      recipe.restartInterval = 1;
    } else if (arg.rfind("q=", 0) == 0) {
      recipe.quality = std::atoi(arg.c_str() + 2);
    } else {
      std::fprintf(stderr, "make_fixture: unknown argument %s\n", arg.c_str());
      return 2;
    }
  }
  if (recipe.space == fixtures::Space::kGray) recipe.sampling = fixtures::Sampling("gray");
  if (recipe.space == fixtures::Space::kRGB && recipe.sampling.size() != 3) {
    recipe.sampling = fixtures::Sampling("444");
  }
  fixtures::WriteFile(argv[1], fixtures::Write(recipe));
  return 0;
}
