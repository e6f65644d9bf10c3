#pragma once
// Marks what leaves the platform core library; everything else stays hidden.
#define BRX_EXPORT __attribute__((visibility("default")))
