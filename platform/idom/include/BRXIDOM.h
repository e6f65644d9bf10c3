#pragma once
// The DOM parser platform library.
#define BRXIDOM_EXPORT __attribute__((visibility("default")))

class BRXIDOM_EXPORT BRXIDOM_DOMImplementation {
public:
    static void initialize();
    static void terminate();
};
