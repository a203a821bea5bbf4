// An element of an XML document: attributes, child elements and the items between them.
#pragma once

#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "presets/XmlAttribute.h"
#include "presets/XmlItem.h"

// Owns its attributes, children and items; the parent pointer is borrowed. Names and values
// are held escaped. Index accessors return nullptr for an index out of range, so callers can
// walk hostile documents without checks of their own.
class CXmlElement {
public:
    using ItemList = std::vector<std::unique_ptr<CXmlItem>>;

    CXmlElement(std::string rawName, CXmlElement* parent);
    CXmlElement(const CXmlElement&) = delete;
    CXmlElement& operator=(const CXmlElement&) = delete;

    // Makes an element from a plain name (stored escaped), not yet linked to a parent.
    static std::unique_ptr<CXmlElement> Create(std::string_view name);

    std::string GetName() const;
    const std::string& GetRawName() const { return m_name; }
    CXmlElement* GetParent() const { return m_parent; }

    int GetChildCount() const { return static_cast<int>(m_children.size()); }
    CXmlElement* GetChild(int index) const;
    // Index of the given child, or -1 when it is not a child of this element.
    int IndexOfChild(const CXmlElement* child) const;
    // First child whose unescaped name equals name byte for byte; with create, a new child of
    // that name is appended when none matches.
    CXmlElement* FindChild(std::string_view name, bool create = false);
    CXmlElement* AppendChild(std::unique_ptr<CXmlElement> child);
    // Removes the child and all its content; items after it keep their place between the
    // remaining children.
    void RemoveChild(int index);

    int GetAttributeCount() const { return static_cast<int>(m_attributes.size()); }
    CXmlAttribute* GetAttribute(int index) const;
    // First attribute whose unescaped name equals name; with create, a new one with an empty
    // value is appended when none matches.
    CXmlAttribute* FindAttribute(std::string_view name, bool create = false);
    CXmlAttribute* AppendRawAttribute(std::string rawName, std::string rawValue);
    void RemoveAttribute(int index);
    // Sets (creating when needed) the attribute to the plain value.
    void SetAttribute(std::string_view name, std::string_view value);

    const ItemList& GetComments() const { return m_comments; }
    const ItemList& GetTexts() const { return m_texts; }
    const ItemList& GetCData() const { return m_cdata; }
    // Items take the current child count as their position.
    void AddComment(std::string rawText);
    void AddText(std::string rawText);
    void AddCData(std::string rawText);

    // True when the element has no children and no items (it is written as "<name/>").
    bool IsEmpty() const;

private:
    std::string m_name;
    CXmlElement* m_parent;
    std::vector<std::unique_ptr<CXmlAttribute>> m_attributes;
    std::vector<std::unique_ptr<CXmlElement>> m_children;
    ItemList m_comments;
    ItemList m_texts;
    ItemList m_cdata;
};
