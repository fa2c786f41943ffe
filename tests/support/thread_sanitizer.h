#pragma once
// kUnderThreadSanitizer: whether this build runs under the thread sanitizer (make tsan). Qt's own worker
// threads (its thread pool for large images and painting, the file dialog's gatherer) synchronise through
// futexes the sanitizer cannot see, so it reports Qt's internals as races. A test whose subject drives
// them at scale (a full-HD picture, the window program painting for a while) skips itself in that build
// instead; the same code paths at small scale stay covered there. Header-only.

namespace hlx::test {

#if defined(__SANITIZE_THREAD__)
inline constexpr bool kUnderThreadSanitizer = true;
#elif defined(__has_feature)
#if __has_feature(thread_sanitizer)
inline constexpr bool kUnderThreadSanitizer = true;
#else
inline constexpr bool kUnderThreadSanitizer = false;
#endif
#else
inline constexpr bool kUnderThreadSanitizer = false;
#endif

}  // namespace hlx::test
