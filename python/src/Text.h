// SPDX-License-Identifier: MIT
// Strings between Python and the library: UTF-16 text and file paths.
#pragma once

#include <pybind11/pybind11.h>

#include <string>

namespace pytessel {

// A file path as the library takes it (UTF-16, with bytes that are not UTF-8 carried as lone
// surrogates U+DC80..U+DCFF, as Python's os.fsdecode gives them) and as the file system has it.
struct FilePath {
  std::u16string wide;
  std::string bytes;
};

// A str, bytes or os.PathLike path. Raises TypeError for anything else.
FilePath PathFrom(const pybind11::handle& path);

// Python text as UTF-16, lone surrogates kept.
std::u16string Utf16(const pybind11::str& text);

// UTF-16 text (NUL-terminated, or `length` units) as a Python str, lone surrogates kept.
pybind11::str FromUtf16(const char16_t* text);
pybind11::str FromUtf16(const std::u16string& text);

}  // namespace pytessel
