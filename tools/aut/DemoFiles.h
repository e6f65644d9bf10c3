#pragma once
// The files that the demonstration installs, built into the program from tools/aut/demo.

namespace auttool {

struct DemoFile {
    const char* path;    // relative to the installation's root directory
    const char* content; // the file as shipped
};

extern const DemoFile kDemoFiles[];
extern const int kDemoFileCount;

} // namespace auttool
