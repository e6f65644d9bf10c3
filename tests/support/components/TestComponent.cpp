// A component library for the loading guard's tests, built in several variants (see
// tests/CMakeLists.txt). Each entry appends "<entry> <consumer>\n" to the file
// named by AUT_COMPONENT_LOG, so that a test sees which entries ran, for whom, and how often.
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#ifndef COMPONENT_INITIALIZE_STATUS
#define COMPONENT_INITIALIZE_STATUS 0
#endif

namespace {

#ifdef COMPONENT_INITIALIZE_THROWS
// A class of the library's own: its type information and what() live in this library only.
class ComponentError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};
#endif

void record(const char* entry, const char* consumer) {
    const char* const path = std::getenv("AUT_COMPONENT_LOG");
    if (path == nullptr) {
        return;
    }
    if (std::FILE* file = std::fopen(path, "a")) {
        std::fprintf(file, "%s %s\n", entry, consumer != nullptr ? consumer : "(null)");
        std::fclose(file);
    }
}

} // namespace

extern "C" __attribute__((visibility("default"))) long ComponentInitialize(const char* consumer) {
    record("initialize", consumer);
#ifdef COMPONENT_INITIALIZE_THROWS
    throw ComponentError("no licence");
#endif
    return COMPONENT_INITIALIZE_STATUS;
}

#ifndef COMPONENT_WITHOUT_TERMINATE
extern "C" __attribute__((visibility("default"))) long ComponentTerminate(const char* consumer) {
    record("terminate", consumer);
    return 0;
}
#endif
