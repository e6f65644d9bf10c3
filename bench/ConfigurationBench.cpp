// Loading a 10,000-entry "OrqConfig.xml" into the store beside pugixml parsing the same file
// into nested standard maps, and the store's lookups beside the same lookups in those maps.
#include "AUTConfiguration.h"

#include <benchmark/benchmark.h>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <pugixml.hpp>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kGroups = 10;
constexpr int kSectionsPerGroup = 10;
constexpr int kEntriesPerSection = 100; // 10 x 10 x 100 = 10,000 entries

using NestedMaps = std::map<std::string, std::map<std::string, std::string>>;

std::string sectionName(int group, int section) {
    return "Section" + std::to_string(group * kSectionsPerGroup + section);
}

std::string entryName(int entry) {
    return "Entry" + std::to_string(entry);
}

// A temporary installation with configuration/OrqConfig.xml of about 1 MB; ORQ_BIN_DIR points
// at its bin/. Removed at exit.
struct Installation {
    std::string root;
    std::string file;

    Installation() {
        char pattern[] = "/tmp/ConfigurationBench.XXXXXX";
        root = mkdtemp(pattern);
        std::system(("mkdir -p " + root + "/bin " + root + "/configuration").c_str());
        file = root + "/configuration/OrqConfig.xml";
        std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n"
                          "<OrqConfig company=\"Acme\" rendition=\"Gold\">\n";
        for (int g = 0; g < kGroups; ++g) {
            xml += "  <Group" + std::to_string(g) + ">\n";
            for (int s = 0; s < kSectionsPerGroup; ++s) {
                xml += "    <section name=\"" + sectionName(g, s) + "\">\n";
                for (int e = 0; e < kEntriesPerSection; ++e) {
                    xml += "      <entry name=\"" + entryName(e) + "\" value=\"" +
                           std::to_string(e * 7919) + " a value of some forty characters\"/>\n";
                }
                xml += "    </section>\n";
            }
            xml += "  </Group" + std::to_string(g) + ">\n";
        }
        xml += "</OrqConfig>\n";
        FILE* out = std::fopen(file.c_str(), "wb");
        std::fwrite(xml.data(), 1, xml.size(), out);
        std::fclose(out);
        setenv("ORQ_BIN_DIR", (root + "/bin").c_str(), 1);
    }
    ~Installation() { std::system(("rm -rf " + root).c_str()); }
};

const Installation& installation() {
    static const Installation instance;
    return instance;
}

NestedMaps loadNestedMaps(const std::string& file) {
    NestedMaps sections;
    pugi::xml_document document;
    document.load_file(file.c_str());
    for (pugi::xml_node group : document.document_element().children()) {
        if (group.type() != pugi::node_element) {
            continue;
        }
        for (pugi::xml_node section : group.children()) {
            if (section.type() != pugi::node_element || std::string(section.name()) != "section") {
                continue;
            }
            auto& entries = sections[section.attribute("name").value()];
            for (pugi::xml_node entry : section.children()) {
                if (entry.type() == pugi::node_element && std::string(entry.name()) == "entry") {
                    entries[entry.attribute("name").value()] = entry.attribute("value").value();
                }
            }
        }
    }
    return sections;
}

void BM_ConfigurationLoad(benchmark::State& state) {
    installation();
    for (auto _ : state) {
        AUT_Configuration::Initialize();
        benchmark::DoNotOptimize(AUT_I_Configuration::GetConfiguration());
        AUT_Configuration::Terminate();
    }
}
BENCHMARK(BM_ConfigurationLoad)->Unit(benchmark::kMillisecond);

void BM_PugixmlToNestedMaps(benchmark::State& state) {
    const std::string& file = installation().file;
    for (auto _ : state) {
        NestedMaps sections = loadNestedMaps(file);
        benchmark::DoNotOptimize(sections.size());
    }
}
BENCHMARK(BM_PugixmlToNestedMaps)->Unit(benchmark::kMillisecond);

// Keys spread over the whole table, visited in a fixed scattered order.
struct Keys {
    std::vector<I18NString> sections, entries;
    std::vector<std::string> narrowSections, narrowEntries;
    Keys() {
        for (int i = 0; i < 1024; ++i) {
            const int section = (i * 37) % (kGroups * kSectionsPerGroup);
            const int entry = (i * 53) % kEntriesPerSection;
            narrowSections.push_back(
                sectionName(section / kSectionsPerGroup, section % kSectionsPerGroup));
            narrowEntries.push_back(entryName(entry));
            sections.emplace_back(narrowSections.back().c_str());
            entries.emplace_back(narrowEntries.back().c_str());
        }
    }
};

void BM_ConfigurationGetIntCached(benchmark::State& state) {
    installation();
    AUT_Configuration::Initialize();
    AUT_I_Configuration* store = AUT_I_Configuration::GetConfiguration();
    const Keys keys;
    const I18NString component("Orq");
    for (std::size_t i = 0; i < keys.sections.size(); ++i) {
        store->GetInt(component, keys.sections[i], keys.entries[i], 0);
    }
    std::size_t i = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(store->GetInt(component, keys.sections[i], keys.entries[i], 0));
        i = (i + 1) & 1023;
    }
    AUT_Configuration::Terminate();
}
BENCHMARK(BM_ConfigurationGetIntCached);

void BM_ConfigurationGetString(benchmark::State& state) {
    installation();
    AUT_Configuration::Initialize();
    AUT_I_Configuration* store = AUT_I_Configuration::GetConfiguration();
    const Keys keys;
    const I18NString component("Orq");
    const I18NString none;
    std::size_t i = 0;
    for (auto _ : state) {
        I18NString value = store->GetString(component, keys.sections[i], keys.entries[i], none);
        benchmark::DoNotOptimize(value.length());
        i = (i + 1) & 1023;
    }
    AUT_Configuration::Terminate();
}
BENCHMARK(BM_ConfigurationGetString);

// The anchor of both lookups: two std::map finds and a copy of the std::string value.
void BM_NestedMapsGetString(benchmark::State& state) {
    const NestedMaps sections = loadNestedMaps(installation().file);
    const Keys keys;
    std::size_t i = 0;
    for (auto _ : state) {
        std::string value;
        const auto section = sections.find(keys.narrowSections[i]);
        if (section != sections.end()) {
            const auto entry = section->second.find(keys.narrowEntries[i]);
            if (entry != section->second.end()) {
                value = entry->second;
            }
        }
        benchmark::DoNotOptimize(value.size());
        i = (i + 1) & 1023;
    }
}
BENCHMARK(BM_NestedMapsGetString);

} // namespace
