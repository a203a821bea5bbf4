// Profile-style access to one attribute of an XML file, addressed by an element path. Each
// call opens the file, does its work and (for the setters) writes the whole file back.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

// Element names from the root down; empty addresses the root itself.
using XmlPath = std::vector<std::string>;

// Splits "A\B\C" at the backslashes; "" gives the empty path.
XmlPath XmlSplitPath(std::string_view path);

// The attribute's unescaped value, or defaultText when an element of the path or the
// attribute is missing or the value is empty.
std::string XmlGetString(const XmlPath& path, std::string_view name, std::string_view defaultText,
                         const std::string& fileName);

// As above, into a caller's buffer: returns the length of the text found (or of the
// default) and copies it with its terminator only when it fits; otherwise the buffer is
// left holding an empty text. Never writes more than bufferSize bytes.
int XmlGetString(std::string_view path, std::string_view name, const char* defaultText,
                 char* buffer, size_t bufferSize, const std::string& fileName);

int XmlGetInt(const XmlPath& path, std::string_view name, int defaultValue,
              const std::string& fileName);
int XmlGetInt(std::string_view path, std::string_view name, int defaultValue,
              const std::string& fileName);
float XmlGetFloat(const XmlPath& path, std::string_view name, float defaultValue,
                  const std::string& fileName);
float XmlGetFloat(std::string_view path, std::string_view name, float defaultValue,
                  const std::string& fileName);

// Sets the attribute (escaped), creating the file, the elements of the path and the
// attribute as needed. A null value removes the attribute; a null name removes the element
// the path addresses (never the root). Removing creates nothing. Returns true when the file
// was written; false when nothing needed writing or it could not be written (the file is
// not XML, is malformed, or cannot be created).
bool XmlSetString(const XmlPath& path, const char* name, const char* value,
                  const std::string& fileName);
bool XmlSetString(std::string_view path, const char* name, const char* value,
                  const std::string& fileName);
bool XmlSetInt(const XmlPath& path, const char* name, int value, const std::string& fileName);
bool XmlSetInt(std::string_view path, const char* name, int value, const std::string& fileName);
