// Bad and hostile configuration files: the library starts, keeps its defaults, reads no other
// file, refuses what is over the size limit and walks any depth without recursion.
#include "AUTConfiguration.h"
#include "AUTInitialize.h"
#include "AutTestSupport.h"
#include "Table.h"

#include <BRXIDOM.h> // the size limit
#include <cstdlib>
#include <functional>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// A file that is read: company "Acme" and entry s/e = "v".
const std::string kGoodStart = "<r company='Acme'><g><section name='s'><entry name='e' value='v'/>";
const std::string kGoodEnd = "</section></g></r>";

class HostileConfiguration : public auttest::InstallationTest {
protected:
    void TearDown() override {
        AUT_Configuration::Terminate();
        InstallationTest::TearDown();
    }

    void load(const std::string& bytes) {
        root().writeFile("configuration/OrqConfig.xml", bytes);
        AUT_Configuration::Terminate();
        AUT_Configuration::Initialize();
    }

    static std::string get(const char* entry) {
        return AUT_I_Configuration::GetConfiguration()
            ->GetString("Orq", "s", entry, "<default>")
            .c_str();
    }

    // The store holds `company` and s/e = `value`; ("Morvex", "<default>"): nothing was read.
    static void expectRead(const std::string& company, const std::string& value) {
        EXPECT_EQ(AUT_I_Configuration::GetConfiguration()->GetCompanyName().c_str(), company);
        EXPECT_EQ(get("e"), value);
    }
};

TEST_F(HostileConfiguration, BadFilesAreIgnoredWhole) {
    for (const auttest::Row& row : auttest::ReadTable("HostileConfigurationTest-files.tsv", 4)) {
        SCOPED_TRACE(row[0]);
        load(row[1]);
        expectRead(row[2], row[3]);
    }
}

// Generated: too deep or too large to keep as data.
TEST_F(HostileConfiguration, DepthAndSizeAreBounded) {
    std::string open;
    std::string close;
    std::string subset;
    for (int i = 0; i < 100000; ++i) {
        open += "<a>";
        close += "</a>";
        subset += "<![INCLUDE[";
    }
    for (int i = 0; i < 100000; ++i) {
        subset += "]]>";
    }
    // At the size limit exactly: a comment fills the file up.
    std::string largest = kGoodStart + kGoodEnd + "<!--";
    largest.resize(BRXIDOM_Parser::kMaxDocumentBytes - 3, 'x');
    largest += "-->";
    const struct {
        const char* name;
        std::string bytes;
        const char* value; // of s/e, "<default>" when nothing was read
    } cases[] = {
        // Below an entry, below a section and below the root: only the first three levels count.
        {"deep nesting",
         "<r company='Acme'><g><section name='s'><entry name='e' value='v'>" + open + close +
             "</entry>" + open + "<entry name='deep' value='x'/>" + close + "</section></g>" +
             open + close + "</r>",
         "v"},
        {"deep nesting left open", kGoodStart + open, "<default>"},
        {"deep document type", "<!DOCTYPE r [" + subset + "]>" + kGoodStart + kGoodEnd, "v"},
        {"at the size limit", largest, "v"},
        {"one byte over the size limit", largest + " ", "<default>"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        load(c.bytes);
        expectRead(c.value == std::string("v") ? "Acme" : "Morvex", c.value);
        EXPECT_EQ(get("deep"), "<default>");
    }
}

TEST_F(HostileConfiguration, ExternalEntitiesAreNeverRead) {
    const std::string secret = root().writeFile("secret.txt", "SECRET");
    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(inotify_add_watch(watch, secret.c_str(), IN_OPEN | IN_ACCESS), 0);
    load("<?xml version='1.0'?>\n<!DOCTYPE r [\n<!ENTITY secret SYSTEM 'file://" + secret +
         "'>\n<!ENTITY % remote SYSTEM 'file://" + secret +
         "'> %remote;\n]>\n<r company='Acme'><g><section name='s'>"
         "<entry name='e' value='&secret;'/></section></g></r>");
    expectRead("Acme", "&secret;");
    char events[4096];
    EXPECT_LT(read(watch, events, sizeof events), 0) << "the named file was opened";
    close(watch);
}

// The library starts with its defaults whatever stands in the file's place.
TEST_F(HostileConfiguration, LibraryStartsOnWhatIsNotAGoodFile) {
    const std::string file = configurationDir() + "/OrqConfig.xml";
    const struct {
        const char* name;
        std::function<void()> make;
    } cases[] = {
        // The copy in configuration/ is the one chosen once it exists, whatever it is.
        {"a directory",
         [&] {
             root().makeDirectory("configuration/OrqConfig.xml");
             root().writeFile("bin/OrqConfig.xml", kGoodStart + kGoodEnd);
         }},
        // A pipe with no writer must not hang the start-up.
        {"a pipe", [&] { mkfifo(file.c_str(), 0600); }},
        {"a link to itself", [&] { symlink(file.c_str(), file.c_str()); }},
        {"a dangling link", [&] { symlink((file + ".gone").c_str(), file.c_str()); }},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        c.make();
        ASSERT_EQ(AUT_Initialize("test"), 0);
        expectRead("Morvex", "<default>");
        EXPECT_EQ(AUT_Terminate("test"), 0);
        std::system(("rm -rf '" + file + "' '" + binDir() + "/OrqConfig.xml'").c_str());
    }
}

} // namespace
