// Binary and text forms of the host's scripting descriptors.
#include "host/Descriptor.h"

#include "sdk/PluginInterface.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace vg::host {
namespace {

constexpr uint32_t kMagic = ps::FourCC("VGds");
constexpr uint32_t kTypeAlias = ps::FourCC("alis");
constexpr size_t kMaxItems = 100000;

void PutU32(std::string& s, uint32_t v) {
    for (int i = 0; i < 4; ++i) s.push_back(char((v >> (8 * i)) & 0xFF));
}

void PutF64(std::string& s, double d) {
    uint64_t bits;
    std::memcpy(&bits, &d, 8);
    PutU32(s, uint32_t(bits));
    PutU32(s, uint32_t(bits >> 32));
}

// Bounds-checked little-endian reader.
struct Reader {
    const std::string& s;
    size_t pos = 0;
    bool ok = true;

    uint32_t U32() {
        if (!ok || s.size() - pos < 4) {
            ok = false;
            return 0;
        }
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i) v |= uint32_t(uint8_t(s[pos + i])) << (8 * i);
        pos += 4;
        return v;
    }
    double F64() {
        uint64_t lo = U32(), hi = U32();
        uint64_t bits = lo | (hi << 32);
        double d;
        std::memcpy(&d, &bits, 8);
        return d;
    }
    std::string Bytes(uint32_t n) {
        if (!ok || s.size() - pos < n) {
            ok = false;
            return {};
        }
        std::string r = s.substr(pos, n);
        pos += n;
        return r;
    }
};

bool HasText(uint32_t type) {
    return type == ps::typeChar || type == kTypeAlias || type == ps::typeObject;
}

std::string QuoteText(const std::string& t) {
    std::string r = "\"";
    for (unsigned char c : t) {
        if (c == '"' || c == '\\') {
            r += '\\';
            r += char(c);
        } else if (c == '\n') {
            r += "\\n";
        } else if (c < 0x20 || c >= 0x7F) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\x%02X", c);
            r += buf;
        } else {
            r += char(c);
        }
    }
    return r + "\"";
}

std::string FormatNumber(double d) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.17g", d);
    // Prefer the shortest form that reads back to the same value.
    for (int prec = 1; prec <= 17; ++prec) {
        char shortBuf[64];
        std::snprintf(shortBuf, sizeof shortBuf, "%.*g", prec, d);
        if (std::strtod(shortBuf, nullptr) == d)
            return shortBuf;
    }
    return buf;
}

// Splits a line into words; a word starting with '"' runs to the closing quote.
bool SplitWords(const std::string& line, std::vector<std::string>* words, std::vector<bool>* quoted,
                std::string* error) {
    size_t i = 0;
    while (i < line.size()) {
        char c = line[i];
        if (c == ' ' || c == '\t' || c == '\r') {
            ++i;
            continue;
        }
        if (c == '#')
            break;
        if (c == '"') {
            std::string w;
            ++i;
            bool closed = false;
            while (i < line.size()) {
                char d = line[i++];
                if (d == '"') {
                    closed = true;
                    break;
                }
                if (d != '\\') {
                    w += d;
                    continue;
                }
                if (i >= line.size())
                    break;
                char e = line[i++];
                if (e == 'n') {
                    w += '\n';
                } else if (e == 'x') {
                    if (line.size() - i < 2 || !std::isxdigit(uint8_t(line[i])) ||
                        !std::isxdigit(uint8_t(line[i + 1]))) {
                        *error = "bad \\x escape";
                        return false;
                    }
                    w += char(std::strtol(line.substr(i, 2).c_str(), nullptr, 16));
                    i += 2;
                } else {
                    w += e;
                }
            }
            if (!closed) {
                *error = "unterminated text";
                return false;
            }
            words->push_back(w);
            quoted->push_back(true);
            continue;
        }
        size_t start = i;
        while (i < line.size() && line[i] != ' ' && line[i] != '\t' && line[i] != '\r' &&
               line[i] != '#')
            ++i;
        words->push_back(line.substr(start, i - start));
        quoted->push_back(false);
    }
    return true;
}

bool ParseDouble(const std::string& s, double* d) {
    if (s.empty())
        return false;
    errno = 0;
    char* end = nullptr;
    double v = std::strtod(s.c_str(), &end);
    // Underflow (a subnormal or zero result) is a value; overflow gives infinity.
    if (*end != 0 || !std::isfinite(v))
        return false;
    *d = v;
    return true;
}

bool ParseInt32(const std::string& s, int32_t* v) {
    if (s.empty())
        return false;
    errno = 0;
    char* end = nullptr;
    long long x = std::strtoll(s.c_str(), &end, 0);
    if (*end != 0 || errno == ERANGE || x < INT32_MIN || x > INT32_MAX)
        return false;
    *v = int32_t(x);
    return true;
}

}  // namespace

bool DescriptorItem::operator==(const DescriptorItem& o) const {
    return key == o.key && type == o.type && number == o.number && integer == o.integer &&
           unit == o.unit && enumType == o.enumType && enumValue == o.enumValue && text == o.text;
}

const DescriptorItem* CDescriptor::Find(uint32_t key) const {
    for (const auto& it : items)
        if (it.key == key)
            return &it;
    return nullptr;
}

void CDescriptor::SetFloat(uint32_t key, double value) {
    DescriptorItem item;
    item.key = key;
    item.type = ps::typeFloat;
    item.number = value;
    for (auto& it : items)
        if (it.key == key) {
            it = item;
            return;
        }
    items.push_back(item);
}

namespace {

// Clears the fields an item's type does not use and makes booleans 0 or 1, so that what a
// handle carried reads the same through every get proc and survives the text form.
// false for a type this host has no text form for (nothing the host makes has one) and for
// numbers that are not finite.
bool KeepMeaningfulFields(DescriptorItem* it) {
    DescriptorItem k;
    k.key = it->key;
    k.type = it->type;
    switch (it->type) {
        case ps::typeFloat:
            if (!std::isfinite(it->number))
                return false;
            k.number = it->number;
            break;
        case ps::typeUnitFloat:
            if (!std::isfinite(it->number))
                return false;
            k.unit = it->unit;
            k.number = it->number;
            break;
        case ps::typeInteger:
            k.integer = it->integer;
            break;
        case ps::typeBoolean:
            k.integer = it->integer != 0;
            break;
        case ps::typeEnumerated:
            k.enumType = it->enumType;
            k.enumValue = it->enumValue;
            break;
        case ps::typeClass:
            k.enumValue = it->enumValue;
            break;
        case ps::typeObject:
            k.enumValue = it->enumValue;
            k.text = std::move(it->text);
            break;
        default:
            if (!HasText(it->type))
                return false;
            k.text = std::move(it->text);
            break;
    }
    *it = std::move(k);
    return true;
}

}  // namespace

std::string CDescriptor::Encode() const {
    std::string s;
    PutU32(s, kMagic);
    PutU32(s, uint32_t(items.size()));
    for (const auto& it : items) {
        PutU32(s, it.key);
        PutU32(s, it.type);
        PutF64(s, it.number);
        PutU32(s, uint32_t(it.integer));
        PutU32(s, it.unit);
        PutU32(s, it.enumType);
        PutU32(s, it.enumValue);
        PutU32(s, uint32_t(it.text.size()));
        s += it.text;
    }
    return s;
}

bool CDescriptor::Decode(const std::string& bytes, CDescriptor* out, std::string* error) {
    Reader r{bytes};
    if (r.U32() != kMagic || !r.ok) {
        *error = "not a descriptor";
        return false;
    }
    uint32_t count = r.U32();
    // Every item takes at least 32 bytes: reject counts the data cannot hold before reserving.
    if (!r.ok || count > kMaxItems || count > (bytes.size() - r.pos) / 32) {
        *error = "bad descriptor item count";
        return false;
    }
    CDescriptor d;
    d.items.reserve(count);
    for (uint32_t i = 0; i < count && r.ok; ++i) {
        DescriptorItem it;
        it.key = r.U32();
        it.type = r.U32();
        it.number = r.F64();
        it.integer = int32_t(r.U32());
        it.unit = r.U32();
        it.enumType = r.U32();
        it.enumValue = r.U32();
        uint32_t n = r.U32();
        it.text = r.Bytes(n);
        if (r.ok && !KeepMeaningfulFields(&it)) {
            *error = "descriptor item of an unknown type or a number that is not finite (" +
                     FormatFourCC(it.key) + ")";
            return false;
        }
        d.items.push_back(std::move(it));
    }
    if (!r.ok || r.pos != bytes.size()) {
        *error = "truncated or oversized descriptor";
        return false;
    }
    *out = std::move(d);
    return true;
}

bool ParseFourCC(const std::string& s, uint32_t* code) {
    if (s.size() == 4) {
        *code = (uint32_t(uint8_t(s[0])) << 24) | (uint32_t(uint8_t(s[1])) << 16) |
                (uint32_t(uint8_t(s[2])) << 8) | uint32_t(uint8_t(s[3]));
        return true;
    }
    if (s.size() == 10 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X')) {
        char* end = nullptr;
        unsigned long long v = std::strtoull(s.c_str() + 2, &end, 16);
        if (*end == 0 && v <= 0xFFFFFFFFull) {
            *code = uint32_t(v);
            return true;
        }
    }
    return false;
}

std::string FormatFourCC(uint32_t code) {
    char c[5];
    ps::FourCCChars(code, c);
    bool printable = c[0] != ' ' && c[3] != ' ';
    for (int i = 0; i < 4; ++i)
        if (uint8_t(c[i]) <= 0x20 || uint8_t(c[i]) >= 0x7F || c[i] == '"' || c[i] == '#')
            printable = false;
    if (printable)
        return std::string(c, 4);
    char buf[16];
    std::snprintf(buf, sizeof buf, "0x%08X", code);
    return buf;
}

std::string CDescriptor::ToText() const {
    std::string s;
    for (const auto& it : items) {
        s += FormatFourCC(it.key) + " " + FormatFourCC(it.type);
        if (it.type == ps::typeFloat) {
            s += " " + FormatNumber(it.number);
        } else if (it.type == ps::typeUnitFloat) {
            s += " " + FormatFourCC(it.unit) + " " + FormatNumber(it.number);
        } else if (it.type == ps::typeInteger) {
            s += " " + std::to_string(it.integer);
        } else if (it.type == ps::typeBoolean) {
            s += it.integer ? " true" : " false";
        } else if (it.type == ps::typeEnumerated) {
            s += " " + FormatFourCC(it.enumType) + " " + FormatFourCC(it.enumValue);
        } else if (it.type == ps::typeClass) {
            s += " " + FormatFourCC(it.enumValue);
        } else if (it.type == ps::typeObject) {
            s += " " + FormatFourCC(it.enumValue) + " " + QuoteText(it.text);
        } else if (HasText(it.type)) {
            s += " " + QuoteText(it.text);
        }
        s += "\n";
    }
    return s;
}

bool CDescriptor::FromText(const std::string& text, CDescriptor* out, std::string* error) {
    CDescriptor d;
    size_t lineNo = 0, pos = 0;
    while (pos <= text.size()) {
        size_t nl = text.find('\n', pos);
        std::string line = text.substr(pos, nl == std::string::npos ? std::string::npos : nl - pos);
        pos = nl == std::string::npos ? text.size() + 1 : nl + 1;
        ++lineNo;
        std::vector<std::string> w;
        std::vector<bool> q;
        std::string why;
        auto fail = [&](const std::string& msg) {
            *error = "line " + std::to_string(lineNo) + ": " + msg;
            return false;
        };
        if (!SplitWords(line, &w, &q, &why))
            return fail(why);
        if (w.empty())
            continue;
        if (d.items.size() >= kMaxItems)
            return fail("too many items");
        DescriptorItem it;
        if (w.size() < 3 || q[0] || q[1])
            return fail("expected KEY TYPE VALUE");
        if (!ParseFourCC(w[0], &it.key))
            return fail("bad key '" + w[0] + "'");
        if (!ParseFourCC(w[1], &it.type))
            return fail("bad type '" + w[1] + "'");
        auto want = [&](size_t n) { return w.size() == n; };
        bool ok = false;
        if (it.type == ps::typeFloat) {
            ok = want(3) && !q[2] && ParseDouble(w[2], &it.number);
        } else if (it.type == ps::typeUnitFloat) {
            ok = want(4) && ParseFourCC(w[2], &it.unit) && !q[3] && ParseDouble(w[3], &it.number);
        } else if (it.type == ps::typeInteger) {
            ok = want(3) && !q[2] && ParseInt32(w[2], &it.integer);
        } else if (it.type == ps::typeBoolean) {
            ok = want(3) && !q[2] &&
                 (w[2] == "true" || w[2] == "false" || w[2] == "1" || w[2] == "0");
            it.integer = ok && (w[2] == "true" || w[2] == "1") ? 1 : 0;
        } else if (it.type == ps::typeEnumerated) {
            ok = want(4) && ParseFourCC(w[2], &it.enumType) && ParseFourCC(w[3], &it.enumValue);
        } else if (it.type == ps::typeClass) {
            ok = want(3) && ParseFourCC(w[2], &it.enumValue);
        } else if (it.type == ps::typeObject) {
            ok = want(4) && ParseFourCC(w[2], &it.enumValue) && q[3];
            it.text = w.size() > 3 ? w[3] : std::string();
        } else if (HasText(it.type)) {
            ok = want(3) && q[2];
            it.text = w[2];
        } else {
            return fail("unsupported type '" + w[1] + "'");
        }
        if (!ok)
            return fail("bad value for type '" + w[1] + "'");
        it.line = int32_t(std::min<size_t>(lineNo, INT32_MAX));
        d.items.push_back(std::move(it));
    }
    *out = std::move(d);
    return true;
}

}  // namespace vg::host
