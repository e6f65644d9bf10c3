// How loading "OrqConfig.xml" grows with the file, 1 KB to 8 MB (the parser refuses larger
// documents): the store beside pugixml parsing alone and pugixml filling nested standard maps
// (the same walk as a hand-written loader would make).
#include "AUTConfiguration.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <pugixml.hpp>
#include <string>
#include <unistd.h>

namespace {

constexpr int kEntriesPerSection = 100;
constexpr int kSectionsPerGroup = 10;
constexpr long kSizesKb[] = {1, 10, 100, 1000, 8000};

using NestedMaps = std::map<std::string, std::map<std::string, std::string>>;

// One installation per file size under a temporary root; removed at exit.
struct Installations {
    std::string root;

    // Writes every file up front and waits until they are on disk: the first benchmark of the
    // largest file would otherwise time the write-back of the 8 MB just written.
    Installations() {
        char pattern[] = "/tmp/ConfigScalingBench.XXXXXX";
        root = mkdtemp(pattern);
        for (long kb : kSizesKb) {
            use(kb);
        }
        sync();
    }
    ~Installations() {
        if (std::system(("rm -rf " + root).c_str()) != 0) {
            std::fprintf(stderr, "could not remove %s\n", root.c_str());
        }
    }

    // Writes <root>/<kb>/configuration/OrqConfig.xml of about `kb` kilobytes (once) and points
    // ORQ_BIN_DIR at its bin/; returns the file's path.
    std::string use(long kb) {
        const std::string base = root + "/" + std::to_string(kb);
        const std::string file = base + "/configuration/OrqConfig.xml";
        if (access(file.c_str(), R_OK) != 0) {
            write(base, file, kb * 1024);
        }
        setenv("ORQ_BIN_DIR", (base + "/bin").c_str(), 1);
        return file;
    }

private:
    static void write(const std::string& base, const std::string& file, long bytes) {
        if (std::system(("mkdir -p " + base + "/bin " + base + "/configuration").c_str()) != 0) {
            std::abort();
        }
        std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                          "<OrqConfig company=\"Acme\" rendition=\"Gold\">\n";
        const std::string closing = "    </section>\n  </Group>\n</OrqConfig>\n";
        int entry = 0;
        int section = 0;
        xml += "  <Group>\n    <section name=\"Section0\">\n";
        while (static_cast<long>(xml.size() + closing.size()) < bytes) {
            if (entry == kEntriesPerSection) {
                entry = 0;
                ++section;
                xml += "    </section>\n";
                if (section % kSectionsPerGroup == 0) {
                    xml += "  </Group>\n  <Group>\n";
                }
                xml += "    <section name=\"Section" + std::to_string(section) + "\">\n";
            }
            xml += "      <entry name=\"Entry" + std::to_string(entry) + "\" value=\"" +
                   std::to_string(entry * 7919) + " a value of some forty characters\"/>\n";
            ++entry;
        }
        xml += closing;
        FILE* out = std::fopen(file.c_str(), "wb");
        if (out == nullptr || std::fwrite(xml.data(), 1, xml.size(), out) != xml.size()) {
            std::abort();
        }
        std::fclose(out);
    }
};

Installations& installations() {
    static Installations instance;
    return instance;
}

void sizeArguments(benchmark::internal::Benchmark* benchmark) {
    for (long kb : kSizesKb) {
        benchmark->Arg(kb);
    }
    benchmark->Unit(benchmark::kMicrosecond);
}

void BM_ConfigurationLoadSize(benchmark::State& state) {
    installations().use(state.range(0));
    for (auto _ : state) {
        AUT_Configuration::Initialize();
        benchmark::DoNotOptimize(AUT_I_Configuration::GetConfiguration());
        AUT_Configuration::Terminate();
    }
    state.SetBytesProcessed(state.iterations() * state.range(0) * 1024);
}
BENCHMARK(BM_ConfigurationLoadSize)->Apply(sizeArguments);

void BM_PugixmlParseSize(benchmark::State& state) {
    const std::string file = installations().use(state.range(0));
    for (auto _ : state) {
        pugi::xml_document document;
        benchmark::DoNotOptimize(document.load_file(file.c_str()).status);
    }
    state.SetBytesProcessed(state.iterations() * state.range(0) * 1024);
}
BENCHMARK(BM_PugixmlParseSize)->Apply(sizeArguments);

void BM_PugixmlToNestedMapsSize(benchmark::State& state) {
    const std::string file = installations().use(state.range(0));
    for (auto _ : state) {
        NestedMaps sections;
        pugi::xml_document document;
        document.load_file(file.c_str());
        for (pugi::xml_node group : document.document_element().children()) {
            for (pugi::xml_node section : group.children("section")) {
                auto& entries = sections[section.attribute("name").value()];
                for (pugi::xml_node entry : section.children("entry")) {
                    entries[entry.attribute("name").value()] = entry.attribute("value").value();
                }
            }
        }
        benchmark::DoNotOptimize(sections.size());
    }
    state.SetBytesProcessed(state.iterations() * state.range(0) * 1024);
}
BENCHMARK(BM_PugixmlToNestedMapsSize)->Apply(sizeArguments);

} // namespace
