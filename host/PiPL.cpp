// PiPL parsing, enable-expression evaluation and the PE machine check.
#include "host/PiPL.h"

#include "sdk/PluginInterface.h"

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <cstring>

namespace vg::host {
namespace {

uint32_t LE32(const uint8_t* p) {
    return uint32_t(p[0]) | (uint32_t(p[1]) << 8) | (uint32_t(p[2]) << 16) | (uint32_t(p[3]) << 24);
}
uint16_t LE16(const uint8_t* p) {
    return uint16_t(p[0] | (p[1] << 8));
}

std::string CString(const uint8_t* p, size_t n) {
    size_t len = 0;
    while (len < n && p[len] != 0) ++len;
    return std::string(reinterpret_cast<const char*>(p), len);
}

bool PascalString(const uint8_t* p, size_t n, std::string* s) {
    if (n == 0 || size_t(p[0]) > n - 1)
        return false;
    s->assign(reinterpret_cast<const char*>(p + 1), p[0]);
    return true;
}

constexpr size_t kMaxProperties = 4096;

// Recursive-descent evaluator over the enable expression grammar:
//   or := and ('||' and)* ; and := cmp ('&&' cmp)* ; cmp := sum (op sum)? ;
//   sum := prod (('+'|'-') prod)* ; prod := unary (('*'|'/') unary)* ;
//   unary := ('!'|'-') unary | primary ; primary := number | name | name '(' args ')' | '(' or ')'
class CEnableParser {
public:
    CEnableParser(const std::string& s, const EnableContext& c) : m_s(s), m_c(c) {}

    bool Run(int64_t* value, std::string* error) {
        int64_t v = Or();
        Skip();
        if (m_ok && m_pos != m_s.size())
            Fail("unexpected '" + m_s.substr(m_pos, 10) + "'");
        if (!m_ok) {
            *error = m_error;
            return false;
        }
        *value = v;
        return true;
    }

private:
    static constexpr int kMaxDepth = 64;

    void Fail(const std::string& e) {
        if (m_ok) {
            m_ok = false;
            m_error = e;
        }
    }
    void Skip() {
        while (m_pos < m_s.size() && std::isspace(uint8_t(m_s[m_pos]))) ++m_pos;
    }
    bool Eat(const char* tok) {
        Skip();
        size_t n = std::strlen(tok);
        if (m_s.compare(m_pos, n, tok) == 0) {
            m_pos += n;
            return true;
        }
        return false;
    }
    struct Depth {
        CEnableParser& p;
        explicit Depth(CEnableParser& parser) : p(parser) {
            if (++p.m_depth > kMaxDepth)
                p.Fail("expression nested too deeply");
        }
        ~Depth() { --p.m_depth; }
    };

    int64_t Or() {
        Depth d(*this);
        int64_t v = And();
        while (m_ok && Eat("||")) {
            int64_t r = And();
            v = (v || r) ? 1 : 0;
        }
        return v;
    }
    int64_t And() {
        int64_t v = Cmp();
        while (m_ok && Eat("&&")) {
            int64_t r = Cmp();
            v = (v && r) ? 1 : 0;
        }
        return v;
    }
    int64_t Cmp() {
        int64_t v = Sum();
        static const char* const ops[] = {"==", "!=", "<=", ">=", "<", ">"};
        for (int i = 0; m_ok && i < 6; ++i) {
            if (!Eat(ops[i]))
                continue;
            int64_t r = Sum();
            switch (i) {
                case 0:
                    return v == r;
                case 1:
                    return v != r;
                case 2:
                    return v <= r;
                case 3:
                    return v >= r;
                case 4:
                    return v < r;
                default:
                    return v > r;
            }
        }
        return v;
    }
    int64_t Sum() {
        int64_t v = Prod();
        for (;;) {
            if (m_ok && Eat("+"))
                v = Clamp(v + Prod());
            else if (m_ok && Eat("-"))
                v = Clamp(v - Prod());
            else
                return v;
        }
    }
    int64_t Prod() {
        int64_t v = Unary();
        for (;;) {
            if (m_ok && Eat("*")) {
                v = Clamp(v * Unary());
            } else if (m_ok && Eat("/")) {
                int64_t r = Unary();
                if (r == 0) {
                    Fail("division by zero");
                    return 0;
                }
                v /= r;
            } else {
                return v;
            }
        }
    }
    // Values stay within 32 bits so that products never overflow 64.
    static int64_t Clamp(int64_t v) {
        return v > INT32_MAX ? INT32_MAX : v < INT32_MIN ? INT32_MIN : v;
    }
    int64_t Unary() {
        Depth d(*this);
        if (!m_ok)
            return 0;
        Skip();
        if (m_pos < m_s.size() && m_s[m_pos] == '!' && m_s.compare(m_pos, 2, "!=") != 0) {
            ++m_pos;
            return Unary() ? 0 : 1;
        }
        if (Eat("-"))
            return Clamp(-Unary());
        return Primary();
    }
    int64_t Primary() {
        Skip();
        if (m_pos >= m_s.size()) {
            Fail("unexpected end of expression");
            return 0;
        }
        char c = m_s[m_pos];
        if (c == '(') {
            ++m_pos;
            int64_t v = Or();
            if (!Eat(")"))
                Fail("missing ')'");
            return v;
        }
        if (std::isdigit(uint8_t(c))) {
            int64_t v = 0;
            while (m_pos < m_s.size() && std::isdigit(uint8_t(m_s[m_pos]))) {
                v = Clamp(v * 10 + (m_s[m_pos] - '0'));
                ++m_pos;
            }
            return v;
        }
        if (std::isalpha(uint8_t(c)) || c == '_') {
            size_t start = m_pos;
            while (m_pos < m_s.size() && (std::isalnum(uint8_t(m_s[m_pos])) || m_s[m_pos] == '_'))
                ++m_pos;
            std::string name = m_s.substr(start, m_pos - start);
            Skip();
            if (m_pos < m_s.size() && m_s[m_pos] == '(')
                return Call(name);
            return Name(name);
        }
        Fail(std::string("unexpected '") + c + "'");
        return 0;
    }
    int64_t Call(const std::string& fn) {
        ++m_pos;  // '('
        std::vector<int64_t> args;
        if (!Eat(")")) {
            do {
                args.push_back(Or());
            } while (m_ok && Eat(","));
            if (!Eat(")"))
                Fail("missing ')' after arguments of " + fn);
        }
        if (!m_ok)
            return 0;
        if (fn == "in") {
            if (args.empty()) {
                Fail("in() needs arguments");
                return 0;
            }
            for (size_t i = 1; i < args.size(); ++i)
                if (args[i] == args[0])
                    return 1;
            return 0;
        }
        if (fn == "min" || fn == "max") {
            if (args.empty()) {
                Fail(fn + "() needs arguments");
                return 0;
            }
            int64_t v = args[0];
            for (int64_t a : args) v = fn == "min" ? std::min(v, a) : std::max(v, a);
            return v;
        }
        if (fn == "dim") {  // the larger image dimension
            return std::max(m_c.imageWidth, m_c.imageHeight);
        }
        Fail("unknown function " + fn);
        return 0;
    }
    int64_t Name(const std::string& n) {
        struct Named {
            const char* name;
            int32_t value;
        };
        static const Named modes[] = {
            {"BitmapMode", 0},     {"GrayScaleMode", 1},    {"IndexedMode", 2},
            {"RGBMode", 3},        {"CMYKMode", 4},         {"HSLMode", 5},
            {"HSBMode", 6},        {"MultichannelMode", 7}, {"DuotoneMode", 8},
            {"LabMode", 9},        {"Gray16Mode", 10},      {"RGB48Mode", 11},
            {"Lab48Mode", 12},     {"CMYK64Mode", 13},      {"DeepMultichannelMode", 14},
            {"Duotone16Mode", 15}, {"RGB96Mode", 16},       {"Gray32Mode", 17},
        };
        for (const auto& m : modes)
            if (n == m.name)
                return m.value;
        if (n == "true")
            return 1;
        if (n == "false")
            return 0;
        if (n == "PSHOP_ImageMode")
            return m_c.imageMode;
        if (n == "PSHOP_ImageDepth")
            return m_c.imageDepth;
        if (n == "PSHOP_ImageWidth")
            return m_c.imageWidth;
        if (n == "PSHOP_ImageHeight")
            return m_c.imageHeight;
        if (n == "PSHOP_NumTargetChannels")
            return m_c.numTargetChannels;
        if (n == "PSHOP_NumTrueChannels")
            return m_c.numTrueChannels;
        if (n == "PSHOP_IsTargetComposite")
            return m_c.isTargetComposite;
        if (n == "PSHOP_HasLayerMask")
            return m_c.hasLayerMask;
        if (n == "PSHOP_HasSelectionMask")
            return m_c.hasSelectionMask;
        if (n == "PSHOP_HasTransparencyMask")
            return m_c.hasTransparencyMask;
        Fail("unknown name " + n);
        return 0;
    }

    const std::string& m_s;
    const EnableContext& m_c;
    size_t m_pos = 0;
    int m_depth = 0;
    bool m_ok = true;
    std::string m_error;
};

}  // namespace

bool PlugInInfo::ModeBit(int mode) const {
    if (mode < 0 || mode >= 32)
        return false;
    return (modes[mode / 8] & (0x80 >> (mode % 8))) != 0;
}

bool ParsePiPL(const uint8_t* data, size_t size, PlugInInfo* out, std::string* error) {
    if (data == nullptr || size < 10) {
        *error = "property list too short";
        return false;
    }
    // Word 0 is the Windows-only prefix (1); hosts skip it.
    uint32_t version = LE32(data + 2), count = LE32(data + 6);
    if (version != 0) {
        *error = "unsupported property list version " + std::to_string(version);
        return false;
    }
    if (count > kMaxProperties || count > (size - 10) / 16) {
        *error = "property count does not fit the property list";
        return false;
    }
    PlugInInfo info;
    size_t pos = 10;
    for (uint32_t i = 0; i < count; ++i) {
        if (size - pos < 16) {
            *error = "property list truncated";
            return false;
        }
        const uint8_t* h = data + pos;
        uint32_t key = LE32(h + 4), len = LE32(h + 12);
        const uint8_t* p = h + 16;
        size_t avail = size - pos - 16;
        if (len > avail) {
            *error = "property " + std::to_string(i) + " runs past the end";
            return false;
        }
        if (len % 4 != 0) {
            // Hosts that advance by the stored length would misread everything after it.
            *error = "property " + std::to_string(i) + " has a length (" + std::to_string(len) +
                     ") not padded to a multiple of 4";
            return false;
        }
        info.keys.push_back(key);
        auto need = [&](size_t n) {
            if (len >= n)
                return true;
            *error = "property " + std::to_string(i) + " too short";
            return false;
        };
        switch (key) {
            case ps::PIKindProperty:
                if (!need(4))
                    return false;
                info.kind = LE32(p);
                break;
            case ps::PIVersionProperty:
                if (!need(4))
                    return false;
                info.version = int32_t(LE32(p));
                break;
            case ps::PIWin64X86CodeProperty:
                info.entryPoint = CString(p, len);
                break;
            case ps::PIWin32X86CodeProperty:
                info.entryPoint32 = CString(p, len);
                break;
            case ps::PINameProperty:
                if (!PascalString(p, len, &info.name)) {
                    *error = "bad name property";
                    return false;
                }
                break;
            case ps::PICategoryProperty:
                if (!PascalString(p, len, &info.category)) {
                    *error = "bad category property";
                    return false;
                }
                break;
            case ps::PIImageModesProperty:
                if (!need(2))
                    return false;
                info.hasModes = true;
                for (size_t b = 0; b < 4 && b < len; ++b) info.modes[b] = p[b];
                break;
            case ps::PIEnableInfoProperty:
                info.hasEnable = true;
                info.enable = CString(p, len);
                break;
            case ps::PIMaxSizeProperty:
            case ps::PIMinSizeProperty:
                if (!need(8))
                    return false;
                if (key == ps::PIMaxSizeProperty) {
                    info.hasMaxSize = true;
                    info.maxRows = int32_t(LE32(p));
                    info.maxCols = int32_t(LE32(p + 4));
                } else {
                    info.hasMinSize = true;
                    info.minRows = int32_t(LE32(p));
                    info.minCols = int32_t(LE32(p + 4));
                }
                break;
            case ps::PIHasTerminologyProperty:
                if (!need(14))
                    return false;
                info.hasTerminology = true;
                info.termClass = LE32(p + 4);
                info.termEvent = LE32(p + 8);
                info.termId = int16_t(LE16(p + 12));
                info.termScope = CString(p + 14, len - 14);
                break;
            default:
                break;
        }
        pos += 16 + size_t(len);
    }
    *out = std::move(info);
    return true;
}

bool EvaluateEnable(const std::string& expression, const EnableContext& context, bool* enabled,
                    std::string* error) {
    int64_t v = 0;
    CEnableParser parser(expression, context);
    if (!parser.Run(&v, error))
        return false;
    *enabled = v != 0;
    return true;
}

std::string ModeName(int32_t mode) {
    static const char* const names[] = {
        "BitmapMode",    "GrayScaleMode", "IndexedMode",      "RGBMode",     "CMYKMode",
        "HSLMode",       "HSBMode",       "MultichannelMode", "DuotoneMode", "LabMode",
        "Gray16Mode",    "RGB48Mode",     "Lab48Mode",        "CMYK64Mode",  "DeepMultichannelMode",
        "Duotone16Mode", "RGB96Mode",     "Gray32Mode"};
    if (mode >= 0 && mode < int32_t(sizeof names / sizeof names[0]))
        return names[mode];
    return std::to_string(mode);
}

bool PlugInAccepts(const PlugInInfo& info, const EnableContext& context, std::string* reason) {
    // Offered only where every kind of host would offer it: the mode flags must allow the mode
    // (missing flags allow none, unless the expression is the literal "true"), and an enable
    // expression, when there is one, must hold as well.
    std::string enable = info.enable;
    enable.erase(0, enable.find_first_not_of(" \t\r\n"));
    enable.erase(enable.find_last_not_of(" \t\r\n") + 1);
    const bool enablesAll = info.hasEnable && enable == "true";
    if (!info.hasModes && !enablesAll) {
        *reason = "the plug-in declares no image modes (no 'mode' property)";
        return false;
    }
    if (info.hasModes && !info.ModeBit(context.imageMode)) {
        *reason = "the plug-in does not support " + ModeName(context.imageMode) +
                  " images (its mode flags do not include it)";
        return false;
    }
    if (info.hasEnable) {
        bool on = false;
        std::string why;
        if (!EvaluateEnable(info.enable, context, &on, &why)) {
            *reason = "the plug-in's enable expression cannot be read (" + why + ")";
            return false;
        }
        if (!on) {
            *reason = "the plug-in does not support " + ModeName(context.imageMode) +
                      " images (enable expression: " + info.enable + ")";
            return false;
        }
    }
    if (info.hasMaxSize &&
        (context.imageHeight > info.maxRows || context.imageWidth > info.maxCols)) {
        *reason = "the image is larger than the plug-in accepts (" + std::to_string(info.maxCols) +
                  " x " + std::to_string(info.maxRows) + ")";
        return false;
    }
    if (info.hasMinSize &&
        (context.imageHeight < info.minRows || context.imageWidth < info.minCols)) {
        *reason = "the image is smaller than the plug-in accepts";
        return false;
    }
    return true;
}

uint16_t PeMachine(const uint8_t* data, size_t size) {
    if (size < 0x40 || data[0] != 'M' || data[1] != 'Z')
        return 0;
    uint32_t off = LE32(data + 0x3C);
    if (off > size || size - off < 6)
        return 0;
    if (std::memcmp(data + off, "PE\0\0", 4) != 0)
        return 0;
    return LE16(data + off + 4);
}

}  // namespace vg::host
