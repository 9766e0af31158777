// SPDX-License-Identifier: MIT
// Memory for large arrays, backed by huge pages where the system offers them.
#pragma once

#include <cstddef>

// Allocates `bytes` without initialising them. Blocks of 2 MiB and more are aligned to 2 MiB and
// advised as huge pages, so faulting them in costs one fault per 2 MiB instead of per 4 KiB.
// Returns null when the memory cannot be had. Free with FreeLarge.
void* AllocateLarge(size_t bytes) noexcept;

// Allocates `count` x `size` bytes, all zero, or null (also when the product overflows). Large
// blocks come straight from the kernel's zeroed pages, so nothing is written until they are
// used; their 2 MiB-aligned inside is advised as huge pages. Free with FreeLarge.
void* AllocateLargeZeroed(size_t count, size_t size) noexcept;

void FreeLarge(void* memory) noexcept;
