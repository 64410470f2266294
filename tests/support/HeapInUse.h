// Bytes the process holds from its allocator now: the sanitizer's own count in ASan and TSan builds (their
// allocator replaces the C library's), else the C library's allocated and mapped blocks.
#pragma once

#include <malloc.h>

#include <cstddef>

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
extern "C" size_t __sanitizer_get_current_allocated_bytes();  // the sanitizer runtime's
#endif

namespace testsupport {

inline size_t HeapInUse() {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    return __sanitizer_get_current_allocated_bytes();
#else
    const struct mallinfo2 mi = mallinfo2();
    return mi.uordblks + mi.hblkhd;
#endif
}

}  // namespace testsupport
