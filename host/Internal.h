#pragma once

// Marks what the library uses inside itself only: it is not exported from the shared object,
// so a host cannot come to depend on it, and its header is not installed.
#if defined(__GNUC__)
#define ERTKIT_INTERNAL __attribute__((visibility("hidden")))
#else
#define ERTKIT_INTERNAL
#endif
