// QUELTA_INLINE: marks a lambda or function that must be inlined wherever
// it is called, such as the step of a loop that runs once per byte of a
// text: a call per byte would cost more than the step.
//
// Promises: always_inline under GCC and Clang; nothing elsewhere (the
// compiler then decides).
#pragma once

#if defined(__GNUC__)
#define QUELTA_INLINE __attribute__((always_inline))
#else
#define QUELTA_INLINE
#endif
