#pragma once

// ThreadSanitizer cannot see the synchronisation inside Qt's thread pool and
// event queues (Debian's Qt is not built for it), so where data crosses
// threads through one of them the hand-off is told to it here: `handOff`
// before the queue, `takeOver` on the other side, with the same address.
// Without the sanitizer both are nothing.

#if defined(__SANITIZE_THREAD__)
#include <sanitizer/tsan_interface.h>
#endif

namespace ombrix::platform {

inline void handOff([[maybe_unused]] const void* token) {
#if defined(__SANITIZE_THREAD__)
    __tsan_release(const_cast<void*>(token));
#endif
}

inline void takeOver([[maybe_unused]] const void* token) {
#if defined(__SANITIZE_THREAD__)
    __tsan_acquire(const_cast<void*>(token));
#endif
}

} // namespace ombrix::platform
