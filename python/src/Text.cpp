// SPDX-License-Identifier: MIT
// Strings between Python and the library: UTF-16 text and file paths.
#include "python/src/Text.h"

namespace py = pybind11;

namespace pytessel {

std::u16string Utf16(const py::str& text) {
  // "surrogatepass" keeps the lone surrogates that stand for bytes of a non-UTF-8 file name.
  const py::bytes encoded = text.attr("encode")("utf-16-le", "surrogatepass");
  const std::string units = encoded;
  std::u16string wide(units.size() / 2, u'\0');
  for (size_t i = 0; i < wide.size(); ++i) {
    wide[i] = static_cast<char16_t>(static_cast<uint8_t>(units[2 * i]) |
                                    static_cast<uint8_t>(units[2 * i + 1]) << 8);
  }
  return wide;
}

py::str FromUtf16(const std::u16string& text) {
  std::string units(text.size() * 2, '\0');
  for (size_t i = 0; i < text.size(); ++i) {
    units[2 * i] = static_cast<char>(text[i] & 0xFF);
    units[2 * i + 1] = static_cast<char>(text[i] >> 8);
  }
  return py::bytes(units).attr("decode")("utf-16-le", "surrogatepass");
}

py::str FromUtf16(const char16_t* text) {
  return FromUtf16(text != nullptr ? std::u16string(text) : std::u16string());
}

FilePath PathFrom(const py::handle& path) {
  const py::module_ os = py::module_::import("os");
  // os.fspath accepts str, bytes and os.PathLike and raises TypeError for anything else.
  const py::object name = os.attr("fsdecode")(os.attr("fspath")(path));
  FilePath result;
  result.wide = Utf16(name);
  // The library reads a path up to its first NUL: a name with one would open another file.
  if (result.wide.find(u'\0') != std::u16string::npos) {
    throw py::value_error("embedded null character in path");
  }
  result.bytes = py::bytes(os.attr("fsencode")(name));
  return result;
}

}  // namespace pytessel
