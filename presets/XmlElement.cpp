// An element of an XML document.
#include "presets/XmlElement.h"

#include "presets/XmlEscape.h"

CXmlElement::CXmlElement(std::string rawName, CXmlElement* parent)
    : m_name(std::move(rawName)), m_parent(parent) {}

std::unique_ptr<CXmlElement> CXmlElement::Create(std::string_view name) {
    return std::make_unique<CXmlElement>(XmlEscape(name), nullptr);
}

std::string CXmlElement::GetName() const {
    return XmlUnescape(m_name);
}

CXmlElement* CXmlElement::GetChild(int index) const {
    if (index < 0 || index >= GetChildCount())
        return nullptr;
    return m_children[static_cast<size_t>(index)].get();
}

int CXmlElement::IndexOfChild(const CXmlElement* child) const {
    for (size_t i = 0; i < m_children.size(); ++i) {
        if (m_children[i].get() == child)
            return static_cast<int>(i);
    }
    return -1;
}

CXmlElement* CXmlElement::FindChild(std::string_view name, bool create) {
    for (const auto& child : m_children) {
        if (child->GetName() == name)
            return child.get();
    }
    return create ? AppendChild(Create(name)) : nullptr;
}

CXmlElement* CXmlElement::AppendChild(std::unique_ptr<CXmlElement> child) {
    child->m_parent = this;
    m_children.push_back(std::move(child));
    return m_children.back().get();
}

void CXmlElement::RemoveChild(int index) {
    if (index < 0 || index >= GetChildCount())
        return;
    m_children.erase(m_children.begin() + index);
    for (ItemList* items : {&m_comments, &m_texts, &m_cdata}) {
        for (auto& item : *items) {
            if (item->GetPosition() > index)
                item->SetPosition(item->GetPosition() - 1);
        }
    }
}

CXmlAttribute* CXmlElement::GetAttribute(int index) const {
    if (index < 0 || index >= GetAttributeCount())
        return nullptr;
    return m_attributes[static_cast<size_t>(index)].get();
}

CXmlAttribute* CXmlElement::FindAttribute(std::string_view name, bool create) {
    for (const auto& attribute : m_attributes) {
        if (attribute->GetName() == name)
            return attribute.get();
    }
    return create ? AppendRawAttribute(XmlEscape(name), std::string()) : nullptr;
}

CXmlAttribute* CXmlElement::AppendRawAttribute(std::string rawName, std::string rawValue) {
    m_attributes.push_back(
        std::make_unique<CXmlAttribute>(std::move(rawName), std::move(rawValue), this));
    return m_attributes.back().get();
}

void CXmlElement::RemoveAttribute(int index) {
    if (index < 0 || index >= GetAttributeCount())
        return;
    m_attributes.erase(m_attributes.begin() + index);
}

void CXmlElement::SetAttribute(std::string_view name, std::string_view value) {
    FindAttribute(name, true)->SetValue(value);
}

void CXmlElement::AddComment(std::string rawText) {
    m_comments.push_back(std::make_unique<CXmlItem>(std::move(rawText), this, GetChildCount()));
}

void CXmlElement::AddText(std::string rawText) {
    m_texts.push_back(std::make_unique<CXmlItem>(std::move(rawText), this, GetChildCount()));
}

void CXmlElement::AddCData(std::string rawText) {
    m_cdata.push_back(std::make_unique<CXmlItem>(std::move(rawText), this, GetChildCount()));
}

bool CXmlElement::IsEmpty() const {
    return m_children.empty() && m_comments.empty() && m_texts.empty() && m_cdata.empty();
}
