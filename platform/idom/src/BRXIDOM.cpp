#include "BRXIDOM.h"

#include <BrxException.h>
#include <I18NConverter.h>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <pugixml.hpp>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

// The tree and the bytes it was parsed from: in-place parsing points the tree's names and
// values into `text`, so both go together.
struct BRXIDOM_DocumentData {
    pugi::xml_document tree;
    std::unique_ptr<char[]> text;
};

namespace {

// Elements, attributes, text, CDATA and comments; character references and the predefined
// entities decoded. No doctype (skipped unparsed), no processing instructions. Parsed as a
// fragment so that text outside the root stays in the tree, where it is found and refused.
constexpr unsigned int kParseOptions =
    pugi::parse_default | pugi::parse_comments | pugi::parse_fragment;

pugi::xml_node toPugi(BRXIDOM_NodeData* node) {
    return pugi::xml_node(reinterpret_cast<pugi::xml_node_struct*>(node));
}

BRXIDOM_NodeData* fromPugi(pugi::xml_node node) {
    return reinterpret_cast<BRXIDOM_NodeData*>(node.internal_object());
}

// ---- Encoding ------------------------------------------------------------------------------

struct EncodingChoice {
    pugi::xml_encoding encoding = pugi::encoding_utf8;
    std::string converterName; // set when the bytes must go through a core converter first
    std::string error;         // set when the document cannot be read
};

bool startsWith(const unsigned char* bytes,
                std::size_t size,
                const char* prefix,
                std::size_t prefixSize) {
    return size >= prefixSize && std::memcmp(bytes, prefix, prefixSize) == 0;
}

std::string upperAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') {
            c = static_cast<char>(c - 'a' + 'A');
        }
    }
    return text;
}

bool isXmlSpace(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// The value of the declaration's "encoding", or empty when there is no declaration or it
// names none. Only the declaration is looked at, never the rest of the file.
std::string declaredEncoding(const char* text, std::size_t size) {
    if (size < 6 || std::memcmp(text, "<?xml", 5) != 0 || !isXmlSpace(text[5])) {
        return std::string();
    }
    const std::size_t limit = size < 512 ? size : 512;
    const std::string declaration(text, limit);
    const std::size_t end = declaration.find("?>");
    const std::size_t key = declaration.find("encoding", 5);
    if (end == std::string::npos || key == std::string::npos || key > end) {
        return std::string();
    }
    std::size_t p = key + 8;
    while (p < end && isXmlSpace(declaration[p])) {
        ++p;
    }
    if (p >= end || declaration[p] != '=') {
        return std::string();
    }
    ++p;
    while (p < end && isXmlSpace(declaration[p])) {
        ++p;
    }
    if (p >= end || (declaration[p] != '"' && declaration[p] != '\'')) {
        return std::string();
    }
    const std::size_t close = declaration.find(declaration[p], p + 1);
    if (close == std::string::npos || close > end) {
        return std::string();
    }
    return declaration.substr(p + 1, close - p - 1);
}

EncodingChoice chooseEncoding(const char* text, std::size_t size) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    EncodingChoice choice;
    // A byte order mark or the 16- and 32-bit shapes of "<?" decide before any declaration.
    if (startsWith(bytes, size, "\x00\x00\xFE\xFF", 4) ||
        startsWith(bytes, size, "\x00\x00\x00\x3C", 4)) {
        choice.encoding = pugi::encoding_utf32_be;
        return choice;
    }
    if (startsWith(bytes, size, "\xFF\xFE\x00\x00", 4) ||
        startsWith(bytes, size, "\x3C\x00\x00\x00", 4)) {
        choice.encoding = pugi::encoding_utf32_le;
        return choice;
    }
    if (startsWith(bytes, size, "\xFE\xFF", 2) || startsWith(bytes, size, "\x00\x3C\x00\x3F", 4)) {
        choice.encoding = pugi::encoding_utf16_be;
        return choice;
    }
    if (startsWith(bytes, size, "\xFF\xFE", 2) || startsWith(bytes, size, "\x3C\x00\x3F\x00", 4)) {
        choice.encoding = pugi::encoding_utf16_le;
        return choice;
    }
    if (startsWith(bytes, size, "\xEF\xBB\xBF", 3)) {
        return choice;
    }

    const std::string declared = declaredEncoding(text, size);
    const std::string name = upperAscii(declared);
    if (name.empty() || name == "UTF-8" || name == "UTF8" || name == "US-ASCII" ||
        name == "ASCII") {
        return choice;
    }
    if (name == "ISO-8859-1" || name == "ISO8859-1" || name == "ISO_8859-1" || name == "LATIN1" ||
        name == "LATIN-1" || name == "L1" || name == "CP819" || name == "IBM819" ||
        name == "ISO-IR-100" || name == "CSISOLATIN1") {
        choice.encoding = pugi::encoding_latin1;
        return choice;
    }
    if (name.compare(0, 6, "UTF-16") == 0 || name.compare(0, 6, "UTF-32") == 0 ||
        name.compare(0, 5, "UCS-2") == 0 || name.compare(0, 5, "UCS-4") == 0 ||
        name.compare(0, 5, "UTF16") == 0 || name.compare(0, 5, "UTF32") == 0) {
        choice.error = "encoding \"" + declared + "\" declared in an 8-bit file";
        return choice;
    }
    choice.encoding = pugi::encoding_utf32;
    choice.converterName = declared;
    return choice;
}

// The core's name for the encoding that the bytes are checked against.
const char* checkedEncoding(const EncodingChoice& choice) {
    if (!choice.converterName.empty()) {
        return choice.converterName.c_str();
    }
    switch (choice.encoding) {
    case pugi::encoding_utf16_be:
        return "UTF-16BE";
    case pugi::encoding_utf16_le:
        return "UTF-16LE";
    case pugi::encoding_utf32_be:
        return "UTF-32BE";
    case pugi::encoding_utf32_le:
        return "UTF-32LE";
    case pugi::encoding_latin1:
        return "ISO-8859-1";
    default:
        return "UTF-8";
    }
}

// Why the text cannot be read as characters at all, or empty. The backing parser would read
// bytes that do not fit the encoding as U+FFFD, and U+0000 (which XML does not allow anywhere)
// as the end of the text, hiding whatever follows it.
std::string badCharacters(const char* text, std::size_t size, const EncodingChoice& choice) {
    const char* const encoding = checkedEncoding(choice);
    std::size_t unit = 1;
    if (choice.converterName.empty() && (choice.encoding == pugi::encoding_utf16_be ||
                                         choice.encoding == pugi::encoding_utf16_le)) {
        unit = 2;
    } else if (choice.converterName.empty() && (choice.encoding == pugi::encoding_utf32_be ||
                                                choice.encoding == pugi::encoding_utf32_le)) {
        unit = 4;
    }
    std::size_t nul = size;
    if (unit == 1) {
        const void* const found = std::memchr(text, 0, size);
        nul = found != nullptr ? static_cast<std::size_t>(static_cast<const char*>(found) - text)
                               : size;
    } else {
        static const char kZeros[4] = {};
        for (std::size_t i = 0; i + unit <= size && nul == size; i += unit) {
            nul = std::memcmp(text + i, kZeros, unit) == 0 ? i : size;
        }
    }
    if (nul != size) {
        return "not well-formed: a NUL character at byte " + std::to_string(nul);
    }
    try {
        if (I18NConverter(encoding).isValid(text, size)) {
            return std::string();
        }
    } catch (const BrxException&) {
        return std::string("unknown encoding \"") + encoding + "\"";
    }
    return std::string("not well-formed: bytes that are not valid ") + encoding;
}

} // namespace

// ---- Nodes ---------------------------------------------------------------------------------

short BRXIDOM_Node::getNodeType() const {
    switch (toPugi(f_node).type()) {
    case pugi::node_element:
        return ELEMENT_NODE;
    case pugi::node_pcdata:
        return TEXT_NODE;
    case pugi::node_cdata:
        return CDATA_SECTION_NODE;
    case pugi::node_comment:
        return COMMENT_NODE;
    case pugi::node_document:
        return DOCUMENT_NODE;
    default:
        return 0;
    }
}

I18NString BRXIDOM_Node::getNodeName() const {
    switch (getNodeType()) {
    case ELEMENT_NODE:
        return I18NString(toPugi(f_node).name());
    case TEXT_NODE:
        return I18NString("#text");
    case CDATA_SECTION_NODE:
        return I18NString("#cdata-section");
    case COMMENT_NODE:
        return I18NString("#comment");
    case DOCUMENT_NODE:
        return I18NString("#document");
    default:
        return I18NString();
    }
}

I18NString BRXIDOM_Node::getNodeValue() const {
    const short type = getNodeType();
    if (type == TEXT_NODE || type == CDATA_SECTION_NODE || type == COMMENT_NODE) {
        return I18NString(toPugi(f_node).value());
    }
    return I18NString();
}

bool BRXIDOM_Node::hasChildNodes() const {
    return !toPugi(f_node).first_child().empty();
}

BRXIDOM_Node BRXIDOM_Node::getFirstChild() const {
    return BRXIDOM_Node(fromPugi(toPugi(f_node).first_child()));
}

BRXIDOM_Node BRXIDOM_Node::getNextSibling() const {
    return BRXIDOM_Node(fromPugi(toPugi(f_node).next_sibling()));
}

BRXIDOM_Element::BRXIDOM_Element(const BRXIDOM_Node& node)
    : BRXIDOM_Node(node.getNodeType() == ELEMENT_NODE ? node : BRXIDOM_Node()) {}

I18NString BRXIDOM_Element::getTagName() const {
    return I18NString(toPugi(f_node).name());
}

bool BRXIDOM_Element::hasTagName(const I18NString& name) const {
    // The tree holds UTF-8 as read; decoding maps only malformed bytes ambiguously (to U+FFFD),
    // so byte equality is code point equality for every name that is itself valid text.
    return std::strcmp(toPugi(f_node).name(), name.c_str()) == 0;
}

I18NString BRXIDOM_Element::getAttribute(const I18NString& name) const {
    // A missing attribute gives an empty pugixml attribute, whose value is "".
    return I18NString(toPugi(f_node).attribute(name.c_str()).value());
}

bool BRXIDOM_Element::hasAttribute(const I18NString& name) const {
    return !toPugi(f_node).attribute(name.c_str()).empty();
}

// ---- Documents -----------------------------------------------------------------------------

BRXIDOM_Element BRXIDOM_Document::getDocumentElement() const {
    if (!f_data) {
        return BRXIDOM_Element();
    }
    return BRXIDOM_Element(BRXIDOM_Node(fromPugi(f_data->tree.document_element())));
}

void BRXIDOM_DOMImplementation::initialize() {}

void BRXIDOM_DOMImplementation::terminate() {}

BRXIDOM_DOMImplementation& BRXIDOM_DOMImplementation::getInstance() {
    static BRXIDOM_DOMImplementation instance;
    return instance;
}

BRXIDOM_Document BRXIDOM_DOMImplementation::createDocument(const I18NString& /*namespaceURI*/,
                                                           const I18NString& qualifiedName,
                                                           const BRXIDOM_DocumentType&) {
    BRXIDOM_Document document;
    document.f_data = std::make_shared<BRXIDOM_DocumentData>();
    if (!qualifiedName.empty()) {
        document.f_data->tree.append_child(qualifiedName.c_str());
    }
    return document;
}

// ---- Parser --------------------------------------------------------------------------------

BRXIDOM_Parser::BRXIDOM_Parser(int /*options*/) {}

int BRXIDOM_Parser::fail(BRXIDOM_Document& document, const I18NString& message) {
    document.f_data->tree.reset();
    document.f_data->text.reset();
    f_errorMessage = message;
    return 1;
}

int BRXIDOM_Parser::parse(const char* path, BRXIDOM_Document& document) {
    if (!document.f_data) {
        document.f_data = std::make_shared<BRXIDOM_DocumentData>();
    }
    const std::string where = std::string(path ? path : "") + ": ";
    // Non-blocking, so that a FIFO in the file's place cannot hang the caller at open.
    const int fd = path ? ::open(path, O_RDONLY | O_CLOEXEC | O_NONBLOCK) : -1;
    if (fd < 0) {
        return fail(document, I18NString((where + std::strerror(errno)).c_str()));
    }
    struct FdCloser {
        int fd;
        ~FdCloser() { ::close(fd); }
    } closer{fd};

    struct stat status {};
    if (::fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        return fail(document, I18NString((where + "not a regular file").c_str()));
    }
    if (static_cast<unsigned long long>(status.st_size) > kMaxDocumentBytes) {
        return fail(
            document,
            I18NString(
                (where + "larger than " + std::to_string(kMaxDocumentBytes) + " bytes").c_str()));
    }
    // Read no more than was measured: a file that grows meanwhile is read as it was.
    const auto size = static_cast<std::size_t>(status.st_size);
    std::unique_ptr<char[]> text(new char[size + 1]);
    std::size_t done = 0;
    while (done < size) {
        const ssize_t got = ::read(fd, text.get() + done, size - done);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            return fail(document, I18NString((where + std::strerror(errno)).c_str()));
        }
        if (got == 0) {
            break;
        }
        done += static_cast<std::size_t>(got);
    }
    const int result = parseOwned(std::move(text), done, document);
    if (result != 0) {
        f_errorMessage = I18NString(where.c_str()) + f_errorMessage;
    }
    return result;
}

int BRXIDOM_Parser::parseMemory(const void* bytes, std::size_t size, BRXIDOM_Document& document) {
    if (!document.f_data) {
        document.f_data = std::make_shared<BRXIDOM_DocumentData>();
    }
    if (size > kMaxDocumentBytes) {
        return fail(
            document,
            I18NString(("larger than " + std::to_string(kMaxDocumentBytes) + " bytes").c_str()));
    }
    std::unique_ptr<char[]> text(new char[size + 1]);
    if (size > 0) {
        std::memcpy(text.get(), bytes, size);
    }
    return parseOwned(std::move(text), size, document);
}

int BRXIDOM_Parser::parseOwned(std::unique_ptr<char[]> text,
                               std::size_t size,
                               BRXIDOM_Document& document) {
    BRXIDOM_DocumentData& data = *document.f_data;
    data.tree.reset();
    data.text.reset();
    f_errorMessage.clear();

    const EncodingChoice choice = chooseEncoding(text.get(), size);
    if (!choice.error.empty()) {
        return fail(document, I18NString(choice.error.c_str()));
    }
    const std::string fault = badCharacters(text.get(), size, choice);
    if (!fault.empty()) {
        return fail(document, I18NString(fault.c_str()));
    }
    pugi::xml_parse_result result;
    if (choice.converterName.empty()) {
        result = data.tree.load_buffer_inplace(text.get(), size, kParseOptions, choice.encoding);
        data.text = std::move(text);
    } else {
        std::u32string codePoints;
        try {
            const I18NConverter converter(choice.converterName.c_str());
            codePoints = converter.toCodePoints(text.get(), size);
        } catch (const BrxException&) {
            return fail(document,
                        I18NString(("unknown encoding \"" + choice.converterName + "\"").c_str()));
        }
        text.reset();
        result = data.tree.load_buffer(codePoints.data(), codePoints.size() * sizeof(char32_t),
                                       kParseOptions, pugi::encoding_utf32);
    }
    if (!result) {
        return fail(document, I18NString((std::string("not well-formed: ") + result.description() +
                                          " at byte " + std::to_string(result.offset))
                                             .c_str()));
    }
    // A fragment is not a document: one root element, and no text outside it.
    int roots = 0;
    for (pugi::xml_node node = data.tree.first_child(); node; node = node.next_sibling()) {
        if (node.type() == pugi::node_element) {
            ++roots;
        } else if (node.type() == pugi::node_pcdata || node.type() == pugi::node_cdata) {
            return fail(document, I18NString("not well-formed: text outside the root element"));
        }
    }
    if (roots != 1) {
        return fail(document, I18NString(roots == 0 ? "not well-formed: no root element"
                                                    : "not well-formed: several root elements"));
    }
    return 0;
}
