// Placeholder substitution and hashing beside their anchors: the literal sixteen-find
// algorithm over I18NString, a plain one-scan substitution over std::u32string and a bare
// hash loop.
#include "UTStringSupport.h"
#include "UTStringSupportInternal.h"

#include <benchmark/benchmark.h>
#include <cstdint>
#include <string>
#include <vector>

namespace {

const char* const kPlaceholders[16] = {"{0}", "{1}", "{2}", "{3}", "{4}", "{5}", "{6}", "{7}",
                                       "{8}", "{9}", "{A}", "{B}", "{C}", "{D}", "{E}", "{F}"};

// The fixed texts are fetched once, on the first substitution; the benchmark needs no catalog.
I18NString noCatalog(std::uint32_t) {
    return I18NString();
}

struct Fixture {
    I18NString longText;  // 200 characters, 16 placeholders
    I18NString shortText; // 60 characters, one "{0}"
    I18NString hashText;  // 100 characters
    std::vector<I18NString> parameters;
    std::vector<std::u32string> plainParameters;

    Fixture() {
        SetResourceFetcherForTest(noCatalog);
        std::string text;
        for (int i = 0; i < 16; ++i) {
            text += "filler ";
            text += kPlaceholders[i];
            text += " ";
            if (i % 2 == 0) {
                text += "x";
            }
        }
        while (text.size() < 200) {
            text += '.';
        }
        longText = I18NString(text.c_str());
        shortText = I18NString("The log file {0} could not be opened for writing, sorry.....");
        hashText = I18NString(std::string(100, 'q').c_str());
        for (int i = 0; i < 16; ++i) {
            parameters.emplace_back(("value" + std::to_string(i)).c_str());
            plainParameters.push_back(parameters.back().codePoints());
        }
        AUT_SimpleSubstituteText(shortText, I18NString("warm-up"));
        shortText = I18NString("The log file {0} could not be opened for writing, sorry.....");
    }
};

const Fixture& fixture() {
    static const Fixture instance;
    return instance;
}

void sixteenFind(I18NString& text, const std::vector<I18NString>& p) {
    static const std::vector<I18NString> placeholders(std::begin(kPlaceholders),
                                                      std::end(kPlaceholders));
    long position = 0;
    for (;;) {
        long nearest = -1;
        int which = -1;
        for (int i = 0; i < 16; ++i) {
            const long at = text.find(placeholders[i], position);
            if (at >= 0 && (nearest < 0 || at < nearest)) {
                nearest = at;
                which = i;
            }
        }
        if (nearest < 0) {
            return;
        }
        text.replace(nearest, 3, p[which]);
        position = nearest + p[which].length();
    }
}

// What one would write by hand over a plain string.
std::u32string plainOneScan(const std::u32string& text, const std::vector<std::u32string>& p) {
    std::u32string result;
    result.reserve(text.size() * 3 / 2);
    std::size_t at = 0;
    while (at < text.size()) {
        if (text[at] == U'{' && at + 2 < text.size() && text[at + 2] == U'}') {
            const char32_t c = text[at + 1];
            int index = -1;
            if (c >= U'0' && c <= U'9') {
                index = static_cast<int>(c - U'0');
            } else if (c >= U'A' && c <= U'F') {
                index = static_cast<int>(c - U'A') + 10;
            }
            if (index >= 0) {
                result += p[index];
                at += 3;
                continue;
            }
        }
        result += text[at++];
    }
    return result;
}

void BM_SimpleSubstitute200(benchmark::State& state) {
    const Fixture& f = fixture();
    const std::vector<I18NString>& p = f.parameters;
    for (auto _ : state) {
        I18NString text = f.longText;
        AUT_SimpleSubstituteText(text, p[0], p[1], p[2], p[3], p[4], p[5], p[6], p[7], p[8], p[9],
                                 p[10], p[11], p[12], p[13], p[14], p[15]);
        benchmark::DoNotOptimize(text);
    }
}
BENCHMARK(BM_SimpleSubstitute200);

void BM_SixteenFind200(benchmark::State& state) {
    const Fixture& f = fixture();
    for (auto _ : state) {
        I18NString text = f.longText;
        sixteenFind(text, f.parameters);
        benchmark::DoNotOptimize(text);
    }
}
BENCHMARK(BM_SixteenFind200);

void BM_PlainOneScan200(benchmark::State& state) {
    const Fixture& f = fixture();
    const std::u32string& source = f.longText.codePoints();
    for (auto _ : state) {
        std::u32string text = source;
        text = plainOneScan(text, f.plainParameters);
        benchmark::DoNotOptimize(text);
    }
}
BENCHMARK(BM_PlainOneScan200);

void BM_SimpleSubstitute60(benchmark::State& state) {
    const Fixture& f = fixture();
    for (auto _ : state) {
        I18NString text = f.shortText;
        AUT_SimpleSubstituteText(text, f.parameters[0]);
        benchmark::DoNotOptimize(text);
    }
}
BENCHMARK(BM_SimpleSubstitute60);

void BM_SixteenFind60(benchmark::State& state) {
    const Fixture& f = fixture();
    std::vector<I18NString> p(16);
    p[0] = f.parameters[0];
    for (auto _ : state) {
        I18NString text = f.shortText;
        sixteenFind(text, p);
        benchmark::DoNotOptimize(text);
    }
}
BENCHMARK(BM_SixteenFind60);

void BM_NestedSubstitute200(benchmark::State& state) {
    const Fixture& f = fixture();
    const std::vector<I18NString>& p = f.parameters;
    for (auto _ : state) {
        I18NString text = f.longText;
        AUT_SubstituteText(text, p[0], p[1], p[2], p[3], p[4], p[5], p[6], p[7], p[8], p[9], p[10],
                           p[11], p[12], p[13], p[14], p[15]);
        benchmark::DoNotOptimize(text);
    }
}
BENCHMARK(BM_NestedSubstitute200);

// ---- Cost against text length: one placeholder every eleven characters, "{0}".."{F}" in turn,
// as in the 200-character text ----

I18NString textOfLength(std::size_t length) {
    std::string text;
    for (int i = 0;; i = (i + 1) % 16) {
        const std::string segment = std::string("filler ") + kPlaceholders[i] + " ";
        if (text.size() + segment.size() > length) {
            break;
        }
        text += segment;
    }
    text.resize(length, '.');
    return I18NString(text.c_str());
}

void BM_SimpleSubstituteLength(benchmark::State& state) {
    const std::vector<I18NString>& p = fixture().parameters;
    const I18NString source = textOfLength(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        I18NString text = source;
        AUT_SimpleSubstituteText(text, p[0], p[1], p[2], p[3], p[4], p[5], p[6], p[7], p[8], p[9],
                                 p[10], p[11], p[12], p[13], p[14], p[15]);
        benchmark::DoNotOptimize(text);
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_SimpleSubstituteLength)->Arg(50)->Arg(200)->Arg(1000)->Arg(5000);

void BM_SixteenFindLength(benchmark::State& state) {
    const std::vector<I18NString>& p = fixture().parameters;
    const I18NString source = textOfLength(static_cast<std::size_t>(state.range(0)));
    for (auto _ : state) {
        I18NString text = source;
        sixteenFind(text, p);
        benchmark::DoNotOptimize(text);
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_SixteenFindLength)->Arg(50)->Arg(200)->Arg(1000)->Arg(5000);

void BM_PlainOneScanLength(benchmark::State& state) {
    const Fixture& f = fixture();
    const std::u32string source =
        textOfLength(static_cast<std::size_t>(state.range(0))).codePoints();
    for (auto _ : state) {
        std::u32string text = source;
        text = plainOneScan(text, f.plainParameters);
        benchmark::DoNotOptimize(text);
    }
    state.SetComplexityN(state.range(0));
}
BENCHMARK(BM_PlainOneScanLength)->Arg(50)->Arg(200)->Arg(1000)->Arg(5000);

void BM_HashText100(benchmark::State& state) {
    const Fixture& f = fixture();
    for (auto _ : state) {
        benchmark::DoNotOptimize(AUT_HashText(f.hashText));
    }
}
BENCHMARK(BM_HashText100);

void BM_HashLoop100(benchmark::State& state) {
    const std::u32string& text = fixture().hashText.codePoints();
    for (auto _ : state) {
        std::uint32_t h = 0;
        for (const char32_t cp : text) {
            std::int32_t c = static_cast<std::int8_t>(cp & 0xFF);
            if (c >= 'a' && c <= 'z') {
                c -= 'a' - 'A';
            }
            h = (h << 4) + static_cast<std::uint32_t>(c);
            const std::uint32_t g = h & 0xF0000000u;
            if (g != 0) {
                h = (h ^ (g >> 24)) & 0x0FFFFFFFu;
            }
        }
        benchmark::DoNotOptimize(h);
    }
}
BENCHMARK(BM_HashLoop100);

} // namespace
