#pragma once
// The DOM parser platform library: XML files read into a tree of element, text and other
// nodes, reached through small handles.
//
// What a parser accepts and refuses (the same for every caller):
// - Encodings: a byte order mark decides first (UTF-8, UTF-16 and UTF-32 in either byte
//   order), then the byte pattern of "<?xml" (UTF-16, UTF-32 without a mark), then the
//   "encoding" of the XML declaration for 8-bit files: UTF-8 and US-ASCII, ISO-8859-1
//   (and its aliases "latin1", "ISO8859-1", ...), and any other encoding the core library's
//   converters know ("windows-1252", "Shift_JIS", ...). No declaration means UTF-8. An encoding
//   name nobody knows, a 16- or 32-bit encoding declared in an 8-bit file, bytes that are not
//   valid in the encoding (or do not map to a character), and the character U+0000 anywhere
//   are errors.
// - Document type declarations are skipped, internal subset and all. Entities declared there
//   are never expanded and external entities are never fetched: "&name;" of such an entity
//   stays in the text as written. The five predefined entities and character references
//   ("&#233;") are decoded.
// - A file that is not well-formed (truncated, mismatched tags, several root elements, no root
//   element), in an unknown encoding, larger than kMaxDocumentBytes or not a regular file
//   leaves the document empty: no partial tree is ever seen.
// - Parsing and walking the tree use no recursion, so nesting depth is limited by memory only.
#include <I18NString.h>
#include <cstddef>
#include <memory>

#define BRXIDOM_EXPORT __attribute__((visibility("default")))

// Opaque: a node of the backing parser's tree, and a document's tree with its text.
struct BRXIDOM_NodeData;
struct BRXIDOM_DocumentData;

// A handle to one node of a document, or a null handle. Copying copies the handle, not the
// node. A handle is valid while its document exists and until the next parse into that
// document; it does not keep the document alive. Reading a handle is thread-safe as long as no
// thread parses into its document.
class BRXIDOM_EXPORT BRXIDOM_Node {
public:
    // The DOM node type numbers; getNodeType() gives one of these, or 0 for a null handle.
    enum NodeType : short {
        ELEMENT_NODE = 1,
        TEXT_NODE = 3,
        CDATA_SECTION_NODE = 4,
        COMMENT_NODE = 8,
        DOCUMENT_NODE = 9,
    };

    BRXIDOM_Node() = default;

    bool isNull() const { return f_node == nullptr; }
    short getNodeType() const;
    // Element: the tag name; text, CDATA and comment: "#text", "#cdata-section", "#comment".
    // Null handle: empty.
    I18NString getNodeName() const;
    // Text, CDATA, comment: its text. Elements and null handles: empty.
    I18NString getNodeValue() const;
    bool hasChildNodes() const;
    // Null handles when there is no such node (also on a null handle).
    BRXIDOM_Node getFirstChild() const;
    BRXIDOM_Node getNextSibling() const;

    // Handles compare equal when they name the same node (or are both null).
    bool operator==(const BRXIDOM_Node& other) const { return f_node == other.f_node; }
    bool operator!=(const BRXIDOM_Node& other) const { return f_node != other.f_node; }
    bool operator==(std::nullptr_t) const { return f_node == nullptr; }
    bool operator!=(std::nullptr_t) const { return f_node != nullptr; }

protected:
    explicit BRXIDOM_Node(BRXIDOM_NodeData* node)
        : f_node(node) {}

    BRXIDOM_NodeData* f_node = nullptr;

    friend class BRXIDOM_Document;
};

// An element view of a node. Made from a node that is not an element, it is a null handle.
class BRXIDOM_EXPORT BRXIDOM_Element : public BRXIDOM_Node {
public:
    BRXIDOM_Element() = default;
    explicit BRXIDOM_Element(const BRXIDOM_Node& node);

    I18NString getTagName() const;
    // getTagName() == name, without building the tag name: for loops over many elements.
    bool hasTagName(const I18NString& name) const;
    // The attribute's value, or empty text when the attribute is missing (or the handle null).
    I18NString getAttribute(const I18NString& name) const;
    bool hasAttribute(const I18NString& name) const;
};

// Document type of a new document. Documents made here carry no type declaration; the class
// exists so that createDocument has what it is given.
class BRXIDOM_EXPORT BRXIDOM_DocumentType {
public:
    BRXIDOM_DocumentType() = default;
};

// A handle to a document: copies share one tree, which goes with the last copy. A default
// handle is null until a document is created or parsed into it. Not thread-safe per tree.
class BRXIDOM_EXPORT BRXIDOM_Document {
public:
    BRXIDOM_Document() = default;

    bool isNull() const { return f_data == nullptr; }
    // The root element; a null handle for a null or empty document.
    BRXIDOM_Element getDocumentElement() const;

private:
    std::shared_ptr<BRXIDOM_DocumentData> f_data;

    friend class BRXIDOM_DOMImplementation;
    friend class BRXIDOM_Parser;
};

// The process-wide entry to the library.
class BRXIDOM_EXPORT BRXIDOM_DOMImplementation {
public:
    // The backing parser has no global state: these count nothing and may be called in any
    // order; they are kept so that the library's start-up and tear-down have their places.
    static void initialize();
    static void terminate();

    static BRXIDOM_DOMImplementation& getInstance();

    // A new document whose root element is named `qualifiedName` (empty: no root element).
    // The namespace URI and the document type are accepted and not recorded.
    BRXIDOM_Document createDocument(const I18NString& namespaceURI,
                                    const I18NString& qualifiedName,
                                    const BRXIDOM_DocumentType& documentType);

private:
    BRXIDOM_DOMImplementation() = default;
};

// Reads XML files into documents. One parser per thread; each parse replaces the whole content
// of the document it is given (a null document handle gets a tree of its own).
class BRXIDOM_EXPORT BRXIDOM_Parser {
public:
    // Files above this size are refused unread: the tree of a configuration file costs several
    // times its size, and no real configuration comes near it.
    static constexpr std::size_t kMaxDocumentBytes = 8u * 1024u * 1024u;

    // `options` is reserved; every value parses the same way: elements, attributes, text, CDATA
    // and comments are kept; processing instructions and the document type are dropped.
    explicit BRXIDOM_Parser(int options = 0);

    // Parses the file at `path` (narrow text of the default encoding). Returns 0 when the file
    // was read whole; otherwise 1, leaves the document empty and keeps a description for
    // getErrorMessage(). Never throws for bad input; std::bad_alloc may pass through.
    int parse(const char* path, BRXIDOM_Document& document);
    // The same for bytes in memory.
    int parseMemory(const void* bytes, std::size_t size, BRXIDOM_Document& document);

    // What went wrong with the last parse ("no root element at byte 0"), empty after success.
    const I18NString& getErrorMessage() const { return f_errorMessage; }

private:
    int parseOwned(std::unique_ptr<char[]> text, std::size_t size, BRXIDOM_Document& document);
    int fail(BRXIDOM_Document& document, const I18NString& message);

    I18NString f_errorMessage;
};
