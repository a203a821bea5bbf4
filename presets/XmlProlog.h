// What an XML document holds outside its root element.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "presets/XmlItem.h"

// Owns the declaration text as read and the comments outside the root (position 0 before
// the root, 1 after it). Saving always writes the standard declaration instead.
class CXmlProlog {
public:
    using ItemList = std::vector<std::unique_ptr<CXmlItem>>;

    const std::string& GetDeclaration() const { return m_declaration; }
    void SetDeclaration(std::string declaration) { m_declaration = std::move(declaration); }
    const ItemList& GetComments() const { return m_comments; }
    void AddComment(std::string rawText, int position) {
        m_comments.push_back(std::make_unique<CXmlItem>(std::move(rawText), nullptr, position));
    }

private:
    std::string m_declaration;
    ItemList m_comments;
};
