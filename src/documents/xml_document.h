#pragma once

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

// libxml2's node types, kept opaque so that only src/documents/xml_*.cpp see the C API.
// NOLINTBEGIN(bugprone-reserved-identifier): these are libxml2's own tag names, not ours.
struct _xmlNode;
struct _xmlDoc;
// NOLINTEND(bugprone-reserved-identifier)
typedef unsigned char xmlChar;

namespace velmora {

// The largest document file that load() reads; a larger one is refused before it is parsed.
inline constexpr std::size_t kMaxDocumentBytes = std::size_t{64} << 20;

// `value` in double quotes, cut after 40 characters as parse errors cut the source they quote,
// and with bytes that are not UTF-8 shown as U+FFFD: a message quoting a document's value stays
// short enough for a message box whatever the document holds.
std::string quotedValue(std::string_view value);

// A non-owning handle to one node of an XmlDocument's tree; valid while the tree lives.
// Lookups fail loudly: what is absent is an empty optional or a velmora::Error, never a default.
class XmlNode {
public:
    explicit XmlNode(_xmlNode* node) : node_(node) {}

    // The element's name (with its prefix), a processing instruction's target, or "#text",
    // "#cdata-section", "#comment" for the other kinds.
    std::string name() const;
    // True for an element node.
    bool isElement() const;

    // The first child element, in document order, whose name equals `name` exactly.
    std::optional<XmlNode> child(std::string_view name) const;
    // Every child node in document order, whatever its kind or name.
    std::vector<XmlNode> children() const;
    // The number of child nodes.
    std::size_t childCount() const;

    // "" without content; the single text or CDATA child exactly; otherwise throws
    // Error("Element does not contain a single text node").
    std::string text() const;
    // The attribute without namespace; empty when absent (absent differs from "").
    // Throws Error when the node is not an element.
    std::optional<std::string> attribute(std::string_view name) const;

    // Appends a child element at the end of this node's children and returns it.
    XmlNode appendChild(std::string_view name);
    // Replaces the element's content by one text node. Throws Error for a character XML cannot
    // hold (a control character other than tab, line feed, carriage return; U+FFFE, U+FFFF).
    void setText(std::string_view text);
    // Sets an attribute without namespace; a new attribute goes after the existing ones.
    // Throws Error for a character XML cannot hold, as setText does.
    void setAttribute(std::string_view name, std::string_view value);

    _xmlNode* raw() const { return node_; }

private:
    _xmlNode* node_;
};

// One XML document object: at most one parsed or built tree at a time.
class XmlDocument {
public:
    XmlDocument();
    ~XmlDocument();
    XmlDocument(XmlDocument&& other) noexcept;
    XmlDocument& operator=(XmlDocument&& other) noexcept;
    XmlDocument(const XmlDocument&) = delete;
    XmlDocument& operator=(const XmlDocument&) = delete;

    // True when a plain file exists at `path` (a folder of that name does not count).
    static bool fileExists(const std::filesystem::path& path);

    // Parses the whole file, replacing whatever the object held. A file larger than
    // kMaxDocumentBytes is refused with a message naming it. No validation, no network,
    // no external entities or DTD loading; whitespace-only text nodes are removed and what
    // stands before the root element is passed over. On failure the object is empty and
    // velmora::Error carries the parser's reason, "Line: N" and up to 40 characters of source.
    void load(const std::filesystem::path& path);
    // The same from text in memory.
    void loadFromString(std::string_view content);

    // True when the object holds no tree.
    bool empty() const;
    // The first top-level node of the document (the root element after a load); none when empty.
    std::optional<XmlNode> firstNode() const;
    // The document element; none when empty or without one.
    std::optional<XmlNode> documentElement() const;

    // Discards the tree and starts a new one whose only node is the root element `name`.
    XmlNode create(std::string_view rootName);
    // The root element's markup alone: no declaration, no whitespace, UTF-8.
    std::string serialize() const;
    // Writes serialize() to `path` through the atomic write helper; throws velmora::Error.
    void save(const std::filesystem::path& path) const;

    // Drops the tree.
    void clear();

private:
    _xmlDoc* doc_ = nullptr;
};

// One element met by readXmlStream, valid only during the call that passes it.
class XmlStreamElement {
public:
    // 1 for the root element, 2 for its children, and so on.
    int depth() const { return depth_; }
    // The element's name with its prefix, as XmlNode::name() gives it.
    std::string_view name() const { return name_; }
    // The attribute without namespace, as XmlNode::attribute gives it; empty when absent.
    std::optional<std::string_view> attribute(std::string_view name) const;

private:
    friend struct XmlStreamAccess;
    int depth_ = 0;
    std::string_view name_;
    const xmlChar** attributes_ = nullptr;  // libxml2's five pointers per attribute
    int attributeCount_ = 0;
};

// What readXmlStream passes on, in document order: the root element and what it holds, as load()
// would keep it. A handler must not throw; it records its own problems and lets the reading go on.
class XmlStreamHandler {
public:
    virtual ~XmlStreamHandler() = default;
    // An element starts.
    virtual void element(const XmlStreamElement& element) = 0;
    // A node that is not an element, at the depth an element in its place would have: comments,
    // processing instructions, CDATA sections and text that is not whitespace only, named as
    // XmlNode::name() names them. Adjacent text counts once, as in the tree.
    virtual void otherNode(int depth, std::string_view name) = 0;
};

// Reads the file at `path` as load() does, but as a stream: no tree is built and the file is read
// in pieces. Passes `handler` the root element and everything inside it. When the file cannot be
// read or is not well-formed XML, throws velmora::Error with load()'s very message, after the
// handler may have seen the nodes before the fault.
void readXmlStream(const std::filesystem::path& path, XmlStreamHandler& handler);

// Writes markup directly, escaping as XmlDocument::serialize() does, for the documents that are
// only elements with attributes: an element without children is an empty-element tag.
class XmlMarkupWriter {
public:
    // Starts an element inside the open one (or the root).
    void open(std::string_view name);
    // Adds an attribute to the element just opened, before its first child. Throws Error for a
    // character XML cannot hold, as XmlNode::setAttribute does.
    void attribute(std::string_view name, std::string_view value);
    // Ends the innermost open element.
    void close();
    // The markup written so far; every element must be closed.
    std::string take();

private:
    std::string out_;
    std::vector<std::string> open_;
    bool inStartTag_ = false;
};

}  // namespace velmora
