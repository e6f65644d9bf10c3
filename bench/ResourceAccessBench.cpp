// Fetching a cached message text beside a plain ordered-map look-up that copies its text.
#include "UTResourceAccess.h"

#include <AUTInitialize.h>
#include <benchmark/benchmark.h>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <string>
#include <unistd.h>

namespace {

// Starts the library once over an empty installation, so that the texts come from the
// built-in catalogs; lives until the process ends.
void initializeOnce() {
    static const bool started = [] {
        char root[] = "/tmp/autbench-XXXXXX";
        if (mkdtemp(root) != nullptr) {
            setenv("ORQ_BIN_DIR", (std::string(root) + "/bin").c_str(), 1);
        }
        unsetenv("ORQ_MESSAGES_DIR");
        return AUT_Initialize("bench") == 0;
    }();
    if (!started) {
        std::abort();
    }
}

void BM_ResourceGetString(benchmark::State& state) {
    initializeOnce();
    for (auto _ : state) {
        benchmark::DoNotOptimize(AUT_ResourceGetString(0xF7C73265u));
    }
}
BENCHMARK(BM_ResourceGetString);
BENCHMARK(BM_ResourceGetString)->Threads(2);

// A message with a placeholder, for a locale that falls back through two levels.
void BM_ResourceLoadStringGerman(benchmark::State& state) {
    initializeOnce();
    const I18NString component("UT");
    const I18NString locale("de-de");
    I18NString result;
    for (auto _ : state) {
        AUT_ResourceLoadString(component, locale, 0x7217A829u, result);
        benchmark::DoNotOptimize(result);
    }
}
BENCHMARK(BM_ResourceLoadStringGerman);

// The anchor: an ordered map of the same size, found by number, its text copied out.
void BM_StdMapLookup(benchmark::State& state) {
    std::map<std::uint32_t, std::u32string> texts;
    for (std::uint32_t i = 0; i < 32; ++i) {
        texts.emplace(0xF7C73265u + i * 7919u, U"true");
    }
    for (auto _ : state) {
        auto found = texts.find(0xF7C73265u);
        benchmark::DoNotOptimize(I18NString(found->second));
    }
}
BENCHMARK(BM_StdMapLookup);

} // namespace
