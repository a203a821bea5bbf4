// A comment, text or CDATA item of an XML element or of the prolog.
#pragma once

#include <string>

class CXmlElement;

// Holds the item's text in stored (file) form and where it stood among its owner's children.
// Invariant: position <= the owner's child count whenever the owner is saved.
class CXmlItem {
public:
    CXmlItem(std::string text, CXmlElement* owner, int position)
        : m_text(std::move(text)), m_owner(owner), m_position(position) {}

    const std::string& GetText() const { return m_text; }
    CXmlElement* GetOwner() const { return m_owner; }
    // Number of the owner's child elements met before this item (prolog: 0 before the root,
    // 1 after it).
    int GetPosition() const { return m_position; }
    void SetPosition(int position) { m_position = position; }

private:
    std::string m_text;
    CXmlElement* m_owner;
    int m_position;
};
