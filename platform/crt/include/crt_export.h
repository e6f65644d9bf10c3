#pragma once
// Marks what leaves the C runtime layer; the layer builds with hidden visibility.
#ifndef CRT_EXPORT
#define CRT_EXPORT __attribute__((visibility("default")))
#endif
