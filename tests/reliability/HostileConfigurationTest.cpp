// Bad and hostile configuration files: the library starts, keeps its defaults, reads no other
// file and stays within bounded memory and stack.
#include "AUTConfiguration.h"
#include "AUTInitialize.h"
#include "AutTestSupport.h"

#include <BRXIDOM.h>
#include <cstdio>
#include <string>
#include <sys/inotify.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Every document below has company "Acme" and entry s/e = "v" before its fault, so that a
// partial read would show.
const std::string kGoodStart = "<r company='Acme'><g><section name='s'><entry name='e' value='v'/>";
const std::string kGoodEnd = "</section></g></r>";

long peakResidentKiB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

class HostileConfiguration : public auttest::InstallationTest {
protected:
    void TearDown() override {
        AUT_Configuration::Terminate();
        InstallationTest::TearDown();
    }

    std::string configPath() const { return configurationDir() + "/OrqConfig.xml"; }

    AUT_I_Configuration& loadInstalled() {
        AUT_Configuration::Terminate();
        AUT_Configuration::Initialize();
        return *AUT_I_Configuration::GetConfiguration();
    }

    AUT_I_Configuration& load(const std::string& bytes) {
        root().writeFile("configuration/OrqConfig.xml", bytes);
        return loadInstalled();
    }

    static std::string get(const char* section, const char* entry) {
        return AUT_I_Configuration::GetConfiguration()
            ->GetString(I18NString("Orq"), I18NString(section), I18NString(entry),
                        I18NString("<default>"))
            .c_str();
    }

    // Nothing of the file was taken: the store is what it is without a file.
    void expectDefaults() {
        AUT_I_Configuration* store = AUT_I_Configuration::GetConfiguration();
        ASSERT_NE(store, nullptr);
        EXPECT_EQ(std::string(store->GetCompanyName().c_str()), "Morvex");
        EXPECT_EQ(get("s", "e"), "<default>");
    }
};

TEST_F(HostileConfiguration, BadFilesAreIgnoredWhole) {
    struct Case {
        const char* name;
        std::string bytes;
    };
    const Case cases[] = {
        {"empty", ""},
        {"blank", "  \n\t "},
        {"byte order mark only", "\xEF\xBB\xBF"},
        {"declaration only", "<?xml version='1.0'?>"},
        {"truncated inside an attribute", kGoodStart + "<entry name='x' value='1"},
        {"truncated after an entry", kGoodStart},
        {"mismatched end tag", kGoodStart + "</group></g></r>"},
        {"several root elements", kGoodStart + kGoodEnd + "<r/>"},
        {"text after the root", kGoodStart + kGoodEnd + "trailing"},
        {"unclosed comment", kGoodStart + "<!-- " + kGoodEnd},
        {"NUL inside", kGoodStart + std::string(1, '\0') + kGoodEnd},
        {"unknown encoding",
         "<?xml version='1.0' encoding='x-no-such-thing'?>" + kGoodStart + kGoodEnd},
        {"16-bit encoding in 8-bit bytes",
         "<?xml version='1.0' encoding='UTF-16'?>" + kGoodStart + kGoodEnd},
        {"binary noise", std::string("\x00\xFF\x3C\x00\x01\x02\xFE", 7)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        load(c.bytes);
        expectDefaults();
    }
    // The same content, well-formed, is read: the cases above fail for their faults alone.
    load(kGoodStart + kGoodEnd);
    EXPECT_EQ(get("s", "e"), "v");
}

TEST_F(HostileConfiguration, UndeclaredNonUtf8BytesReadAsReplacementCharacters) {
    AUT_I_Configuration& store = load("<r><g><section name='s'><entry name='e' value='caf\xE9'/>"
                                      "</section></g></r>");
    EXPECT_EQ(store.GetString(I18NString("Orq"), I18NString("s"), I18NString("e"), I18NString()),
              I18NString(U"caf\uFFFD"));
}

TEST_F(HostileConfiguration, ExternalEntitiesAreNeverRead) {
    const std::string secret = root().writeFile("secret.txt", "SECRET");
    const int watch = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    ASSERT_GE(watch, 0);
    ASSERT_GE(inotify_add_watch(watch, secret.c_str(), IN_OPEN | IN_ACCESS), 0);

    load("<?xml version='1.0'?>\n"
         "<!DOCTYPE r [\n"
         "  <!ENTITY secret SYSTEM 'file://" +
         secret +
         "'>\n"
         "  <!ENTITY passwd SYSTEM 'file:///etc/passwd'>\n"
         "  <!ENTITY % remote SYSTEM 'file://" +
         secret +
         "'> %remote;\n"
         "]>\n"
         "<r company='Acme'><g><section name='s'>"
         "<entry name='e' value='&secret;'/><entry name='p' value='&passwd;'/>"
         "</section></g></r>");
    EXPECT_EQ(get("s", "e"), "&secret;");
    EXPECT_EQ(get("s", "p"), "&passwd;");

    char events[4096];
    EXPECT_LT(read(watch, events, sizeof events), 0) << "the named file was opened";
    close(watch);
}

TEST_F(HostileConfiguration, NestedEntitiesAreNotExpanded) {
    std::string doctype = "<!DOCTYPE r [\n<!ENTITY lol0 'lol'>\n";
    for (int level = 1; level < 10; ++level) {
        doctype += "<!ENTITY lol" + std::to_string(level) + " '";
        for (int i = 0; i < 10; ++i) {
            doctype += "&lol" + std::to_string(level - 1) + ";";
        }
        doctype += "'>\n";
    }
    doctype += "]>\n";
    const long before = peakResidentKiB();
    load(doctype + "<r company='Acme'><g><section name='s'><entry name='e' value='&lol9;'/>"
                   "</section></g>&lol9;</r>");
    EXPECT_EQ(get("s", "e"), "&lol9;");
    EXPECT_LT(peakResidentKiB() - before, 64 * 1024);
}

TEST_F(HostileConfiguration, DeepNestingIsWalkedWithoutRecursion) {
    const int depth = 100000;
    std::string open, close;
    for (int i = 0; i < depth; ++i) {
        open += "<a>";
        close += "</a>";
    }
    // Below an entry, below a section and below the root: only the first three levels count.
    load("<r company='Acme'><g><section name='s'><entry name='e' value='v'>" + open + close +
         "</entry>" + open + "<entry name='deep' value='x'/>" + close + "</section></g>" + open +
         close + "</r>");
    EXPECT_EQ(get("s", "e"), "v");
    EXPECT_EQ(get("s", "deep"), "<default>");

    // Left open, the same nesting is a truncated file.
    load(kGoodStart + open);
    expectDefaults();
}

TEST_F(HostileConfiguration, DeepDoctypeIsSkipped) {
    std::string subset;
    for (int i = 0; i < 100000; ++i) {
        subset += "<![INCLUDE[";
    }
    for (int i = 0; i < 100000; ++i) {
        subset += "]]>";
    }
    load("<!DOCTYPE r [" + subset + "]>" + kGoodStart + kGoodEnd);
    EXPECT_EQ(get("s", "e"), "v");
}

TEST_F(HostileConfiguration, HugeFileIsRefusedUnread) {
    // 100 MB: a good start, a comment that fills it, a good end.
    root().makeDirectory("configuration");
    FILE* file = std::fopen(configPath().c_str(), "wb");
    ASSERT_NE(file, nullptr);
    std::fputs((kGoodStart + "<!--").c_str(), file);
    const std::string filler(1 << 20, 'x');
    for (int i = 0; i < 100; ++i) {
        ASSERT_EQ(std::fwrite(filler.data(), 1, filler.size(), file), filler.size());
    }
    std::fputs(("-->" + kGoodEnd).c_str(), file);
    std::fclose(file);

    const long before = peakResidentKiB();
    loadInstalled();
    expectDefaults();
    EXPECT_LT(peakResidentKiB() - before, 16 * 1024) << "the file was read into memory";
}

TEST_F(HostileConfiguration, SizeLimitIsInclusive) {
    const std::string body = kGoodStart + kGoodEnd + "<!--";
    std::string document = body;
    document.resize(BRXIDOM_Parser::kMaxDocumentBytes - 3, 'x');
    document += "-->";
    ASSERT_EQ(document.size(), BRXIDOM_Parser::kMaxDocumentBytes);

    load(document);
    EXPECT_EQ(get("s", "e"), "v");
    load(document + " ");
    expectDefaults();
}

TEST_F(HostileConfiguration, SomethingOtherThanAFileIsNotRead) {
    // The copy in configuration/ is the one chosen once it exists, whatever it is.
    root().writeFile("bin/OrqConfig.xml", kGoodStart + kGoodEnd);
    root().makeDirectory("configuration/OrqConfig.xml");
    loadInstalled();
    expectDefaults();

    // A pipe with no writer must not hang the start-up.
    rmdir(configPath().c_str());
    ASSERT_EQ(mkfifo(configPath().c_str(), 0600), 0);
    loadInstalled();
    expectDefaults();
}

TEST_F(HostileConfiguration, LibraryStartsOnABadFile) {
    root().writeFile("configuration/OrqConfig.xml", kGoodStart + "<entry");
    ASSERT_EQ(AUT_Initialize("test"), 0);
    expectDefaults();
    EXPECT_EQ(AUT_Terminate("test"), 0);
}

TEST(DomParser, ReportsWhyADocumentWasRefused) {
    struct Case {
        std::string bytes;
        const char* says;
    };
    const Case cases[] = {
        {"<r><g></r>", "not well-formed"},
        {"", "no root element"},
        {"<a/><b/>", "several root elements"},
        {"<?xml version='1.0' encoding='x-nothing'?><r/>", "unknown encoding"},
        {"<?xml version='1.0' encoding='UTF-32'?><r/>", "8-bit file"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes);
        BRXIDOM_Document document = BRXIDOM_DOMImplementation::getInstance().createDocument(
            I18NString(), I18NString("Created"), BRXIDOM_DocumentType());
        ASSERT_FALSE(document.getDocumentElement().isNull());
        BRXIDOM_Parser parser(0);
        EXPECT_EQ(parser.parseMemory(c.bytes.data(), c.bytes.size(), document), 1);
        EXPECT_NE(std::string(parser.getErrorMessage().c_str()).find(c.says), std::string::npos)
            << parser.getErrorMessage();
        EXPECT_TRUE(document.getDocumentElement().isNull()) << "the created root is gone too";
    }
    BRXIDOM_Document document;
    BRXIDOM_Parser parser(0);
    EXPECT_EQ(parser.parse("/nonexistent/OrqConfig.xml", document), 1);
    EXPECT_NE(std::string(parser.getErrorMessage().c_str()).find("/nonexistent/OrqConfig.xml"),
              std::string::npos);
}

TEST(DomParser, KeepsTextCdataAndCommentNodes) {
    const std::string xml = "<r a='1'>text<![CDATA[<raw>]]><!--note--><?pi x?><e/></r>";
    BRXIDOM_Document document;
    BRXIDOM_Parser parser(0);
    ASSERT_EQ(parser.parseMemory(xml.data(), xml.size(), document), 0);
    EXPECT_TRUE(parser.getErrorMessage().empty());
    const BRXIDOM_Element root = document.getDocumentElement();
    EXPECT_EQ(std::string(root.getTagName().c_str()), "r");
    EXPECT_TRUE(root.hasAttribute(I18NString("a")));
    EXPECT_FALSE(root.hasAttribute(I18NString("b")));

    struct Expected {
        short type;
        const char* name;
        const char* value;
    };
    const Expected expected[] = {
        {BRXIDOM_Node::TEXT_NODE, "#text", "text"},
        {BRXIDOM_Node::CDATA_SECTION_NODE, "#cdata-section", "<raw>"},
        {BRXIDOM_Node::COMMENT_NODE, "#comment", "note"},
        {BRXIDOM_Node::ELEMENT_NODE, "e", ""},
    };
    BRXIDOM_Node node = root.getFirstChild();
    for (const Expected& e : expected) {
        SCOPED_TRACE(e.name);
        ASSERT_NE(node, nullptr);
        EXPECT_EQ(node.getNodeType(), e.type);
        EXPECT_EQ(std::string(node.getNodeName().c_str()), e.name);
        EXPECT_EQ(std::string(node.getNodeValue().c_str()), e.value);
        EXPECT_EQ(BRXIDOM_Element(node).isNull(), e.type != BRXIDOM_Node::ELEMENT_NODE);
        node = node.getNextSibling();
    }
    EXPECT_EQ(node, nullptr) << "the processing instruction is dropped";

    // Null handles answer without crashing.
    const BRXIDOM_Element none;
    EXPECT_EQ(none.getNodeType(), 0);
    EXPECT_FALSE(none.hasChildNodes());
    EXPECT_EQ(none.getFirstChild(), nullptr);
    EXPECT_TRUE(none.getAttribute(I18NString("a")).empty());
}

} // namespace
