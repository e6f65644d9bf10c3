#pragma once
// Marks what leaves libaut; the library builds with hidden visibility.
#define AUT_EXPORT __attribute__((visibility("default")))
// Internal entry points that the library's own tests call: visible, but not part of the
// interface that consumers may rely on.
#define AUT_TESTABLE __attribute__((visibility("default")))
