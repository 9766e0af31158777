// SPDX-License-Identifier: MIT
// The JPEG library's interface; jpeglib.h needs size_t and FILE declared before it.
#pragma once

#include <jpeglib.h>

#include <cstddef>
#include <cstdio>
