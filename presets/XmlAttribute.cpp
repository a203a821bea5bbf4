// One attribute of an XML element.
#include "presets/XmlAttribute.h"

#include "presets/XmlEscape.h"

namespace {

void TrimTrailingSpaces(std::string& text) {
    while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.pop_back();
}

}  // namespace

CXmlAttribute::CXmlAttribute(std::string rawName, std::string rawValue, CXmlElement* owner)
    : m_name(std::move(rawName)), m_value(std::move(rawValue)), m_owner(owner) {
    TrimTrailingSpaces(m_name);
}

std::string CXmlAttribute::GetName() const {
    return XmlUnescape(m_name);
}

std::string CXmlAttribute::GetValue() const {
    return XmlUnescape(m_value);
}

int CXmlAttribute::GetIntValue() const {
    return XmlToInt(GetValue());
}

void CXmlAttribute::SetValue(std::string_view value) {
    m_value = XmlEscape(value);
}
