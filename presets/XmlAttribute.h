// One attribute of an XML element.
#pragma once

#include <string>
#include <string_view>

class CXmlElement;

// Holds the name and value in stored (escaped) form; the accessors unescape on the way out.
class CXmlAttribute {
public:
    CXmlAttribute(std::string rawName, std::string rawValue, CXmlElement* owner);

    std::string GetName() const;
    const std::string& GetRawName() const { return m_name; }
    std::string GetValue() const;
    const std::string& GetRawValue() const { return m_value; }
    // The unescaped value read as a decimal integer; 0 when it holds no number.
    int GetIntValue() const;
    // Stores the value escaped.
    void SetValue(std::string_view value);
    CXmlElement* GetOwner() const { return m_owner; }

private:
    std::string m_name;
    std::string m_value;
    CXmlElement* m_owner;
};
