// Arbitrary bytes as paths: splitting, joining and the directory-name check never write past a
// buffer, keep every part within its limit, and give a path within the limits back unchanged.
//
// Input: the path to split, then (after NUL bytes) up to four parts to join: drive,
// directory, file name and extension; a missing part is passed as a null pointer.
#include "AUTInitialize.h"
#include "uti_filesupport.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

void check(bool condition) {
    if (!condition) {
        std::abort();
    }
}

std::size_t narrowLength(const I18NString& text) {
    return std::strlen(text.c_str());
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The directory-name check reads the forbidden characters from the library's catalog.
    check(AUT_Initialize("PathFuzz") == 0);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> fields(1);
    for (std::size_t i = 0; i < size; ++i) {
        if (data[i] == '\0') {
            fields.emplace_back();
        } else {
            fields.back() += static_cast<char>(data[i]);
        }
    }

    const I18NString path(fields[0].c_str());
    I18NString drive, directory, fileName, extension, joined;
    AUT_I_FileSupport::SplitPath(path, &drive, &directory, &fileName, &extension);
    check(narrowLength(drive) <= 2 && narrowLength(directory) <= 255 &&
          narrowLength(fileName) <= 255 && narrowLength(extension) <= 255);
    AUT_I_FileSupport::MakePath(joined, &drive, &directory, &fileName, &extension);
    check(narrowLength(joined) <= 259);
    if (narrowLength(path) <= 255) {
        check(joined == path);
    }
    AUT_I_FileSupport::EvaluateDirectoryName(path);

    // Splitting into its own input must work like splitting a copy.
    I18NString alias(path);
    AUT_I_FileSupport::SplitPath(alias, nullptr, nullptr, &alias, nullptr);
    check(alias == fileName);

    std::vector<I18NString> parts;
    for (std::size_t i = 1; i < fields.size() && i <= 4; ++i) {
        parts.emplace_back(fields[i].c_str());
    }
    auto part = [&](std::size_t i) { return i < parts.size() ? &parts[i] : nullptr; };
    if (!parts.empty()) {
        I18NString made;
        AUT_I_FileSupport::MakePath(made, part(0), part(1), part(2), part(3));
        check(narrowLength(made) <= 259);
    }
    return 0;
}
