// An XML document read from and written to one file: a tolerant parser for the preset
// dialect and a writer with one fixed layout. Portable.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "presets/XmlElement.h"
#include "presets/XmlProlog.h"

// How the source of a document looked.
enum XmlStatus {
    XML_STATUS_OK = 0,
    XML_STATUS_NO_DECLARATION = 1,  // not XML: no "?>" or no "<"; the file is never written
    XML_STATUS_MALFORMED = 2,       // an element without end, or past the limits below
};

// Owns the prolog and the element tree. The file name is absent when the source turned out
// not to be XML or could not be read, and such a document is never saved; a malformed
// document is never saved either, since its tree lacks what could not be parsed.
class CXmlDocument {
public:
    // Limits that keep hostile files from exhausting the stack, memory or time.
    static constexpr int kMaxDepth = 256;             // element nesting levels
    static constexpr size_t kMaxFileSize = 4u << 20;  // bytes read from a file
    static constexpr size_t kMaxNodes = 200000;       // elements, attributes, items
    static constexpr std::string_view kStandardDeclaration =
        "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\" ?>";

    // A new document without file name: the standard declaration and an empty root "root".
    CXmlDocument();
    // Opens the file. A file that does not exist gives a new document that keeps the name.
    explicit CXmlDocument(const std::string& fileName);
    CXmlDocument(const CXmlDocument&) = delete;
    CXmlDocument& operator=(const CXmlDocument&) = delete;
    ~CXmlDocument();

    // Replaces the content by the parse of these bytes, as if they had been read from the
    // file (a UTF-16 LE source with byte-order mark is converted to UTF-8 first).
    void LoadText(std::string_view bytes);

    XmlStatus GetStatus() const { return m_status; }
    bool HasFileName() const { return m_fileName.has_value(); }
    const std::string& GetFileName() const;
    CXmlProlog& GetProlog() { return m_prolog; }
    const CXmlProlog& GetProlog() const { return m_prolog; }
    // The root element, or nullptr when parsing failed before the root was complete. A
    // source without any element gets an empty root "root", as a new document has.
    CXmlElement* GetRoot() const { return m_root.get(); }

    // Writes the document to its file name through a temporary file that replaces it. False
    // when there is no file name, the document is malformed or has no root, or the file
    // cannot be written completely; the file then keeps its old content.
    bool Save() const;
    // The bytes Save writes.
    std::string ToText() const;

private:
    void Reset();

    std::optional<std::string> m_fileName;
    XmlStatus m_status = XML_STATUS_OK;
    CXmlProlog m_prolog;
    std::unique_ptr<CXmlElement> m_root;
};
