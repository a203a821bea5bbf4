// Reading and writing scripting descriptors for a plug-in.
#include "host/DescriptorSession.h"

#include <algorithm>
#include <cstring>

namespace vg::host {
namespace {

using namespace ps;

constexpr uint32_t kTypeAlias = FourCC("alis");
// Key lists from the plug-in are zero-terminated; a longer one is taken to end here.
constexpr int kMaxExpectedKeys = 4096;

constexpr const char* kWantNumber = "a number (doub, UntF or long)";
constexpr const char* kWantInteger = "an integer (long, bool, doub or UntF)";
constexpr const char* kWantBoolean = "a boolean (bool or long)";

}  // namespace

std::string DescribeProblem(const DescriptorProblem& p) {
    if (!p.found)
        return std::string();
    std::string where = "item " + std::to_string(p.item + 1) + " (" + FormatFourCC(p.key);
    if (p.line > 0)
        where += ", line " + std::to_string(p.line);
    return where + ") is '" + FormatFourCC(p.type) + "' where the plug-in reads " + p.wanted;
}

void CDescriptorSession::SetPassed(Handle handle, const CDescriptor* source) {
    m_passed = handle;
    m_passedSource = source;
}

void CDescriptorSession::Reset() {
    m_readers.clear();
    m_writers.clear();
    m_written.clear();
    m_passed = nullptr;
    m_passedSource = nullptr;
    m_problem = DescriptorProblem{};
}

CDescriptorSession::ReadState* CDescriptorSession::Reader(PIReadDescriptor r) {
    auto it = m_readers.find(r);
    return it == m_readers.end() ? nullptr : it->second.get();
}

const DescriptorItem* CDescriptorSession::Current(PIReadDescriptor r, const void* out) {
    ReadState* s = Reader(r);
    if (s == nullptr)
        return nullptr;
    if (out == nullptr || s->current == nullptr) {
        s->error = paramErr;
        return nullptr;
    }
    return s->current;
}

OSErr CDescriptorSession::Fail(PIReadDescriptor r, OSErr e) {
    if (ReadState* s = Reader(r))
        s->error = e;
    return e;
}

OSErr CDescriptorSession::WrongType(PIReadDescriptor r, const char* wanted) {
    ReadState* s = Reader(r);
    if (s != nullptr && s->current != nullptr && !m_problem.found) {
        try {
            m_problem.found = true;
            m_problem.item = size_t(s->current - s->descriptor.items.data());
            m_problem.key = s->current->key;
            m_problem.type = s->current->type;
            m_problem.wanted = wanted;
            if (s->source != nullptr && m_problem.item < s->source->items.size())
                m_problem.line = s->source->items[m_problem.item].line;
        } catch (...) {  // the explanation is optional; the error is not
        }
    }
    return Fail(r, paramErr);
}

PIReadDescriptor CDescriptorSession::OpenRead(PIDescriptorHandle descriptor,
                                              DescriptorKeyID* keys) {
    try {
        if (descriptor == nullptr || !m_memory.Owns(descriptor))
            return nullptr;
        auto s = std::make_unique<ReadState>();
        std::string why;
        if (!CDescriptor::Decode(m_memory.HandleBytes(descriptor), &s->descriptor, &why))
            return nullptr;
        s->keys = keys;
        // Lines are known only for the descriptor the host passed, as long as it is unchanged.
        if (descriptor == m_passed && m_passedSource != nullptr &&
            m_passedSource->items.size() == s->descriptor.items.size())
            s->source = m_passedSource;
        auto r = reinterpret_cast<PIReadDescriptor>(s.get());
        m_readers[r] = std::move(s);
        return r;
    } catch (...) {
        return nullptr;
    }
}

OSErr CDescriptorSession::CloseRead(PIReadDescriptor r) {
    ReadState* s = Reader(r);
    if (s == nullptr)
        return paramErr;
    OSErr e = s->error;
    if (e == noErr && s->keys != nullptr && m_reportMissingKeys && s->keys[0] != 0)
        e = errMissingParameter;  // an expected key was never read
    m_readers.erase(r);
    return e;
}

bool CDescriptorSession::GetKey(PIReadDescriptor r, DescriptorKeyID* key, DescriptorTypeID* type,
                                int32_t* flags) {
    ReadState* s = Reader(r);
    if (s == nullptr || s->next >= s->descriptor.items.size())
        return false;
    s->current = &s->descriptor.items[s->next++];
    if (key)
        *key = s->current->key;
    if (type)
        *type = s->current->type;
    if (flags)
        *flags = 0;
    if (s->keys != nullptr) {
        // Expected keys that turn up are crossed off; the list stays zero-terminated.
        for (int i = 0; i < kMaxExpectedKeys && s->keys[i] != 0; ++i) {
            if (s->keys[i] == s->current->key) {
                for (int j = i; j < kMaxExpectedKeys && s->keys[j] != 0; ++j)
                    s->keys[j] = j + 1 < kMaxExpectedKeys ? s->keys[j + 1] : 0;
                break;
            }
        }
    }
    return true;
}

OSErr CDescriptorSession::GetFloat(PIReadDescriptor r, double* value) {
    DescriptorUnitID unit = 0;
    return GetUnitFloat(r, &unit, value);
}

OSErr CDescriptorSession::GetUnitFloat(PIReadDescriptor r, DescriptorUnitID* unit, double* value) {
    const DescriptorItem* it = Current(r, value);
    if (it == nullptr)
        return paramErr;
    if (it->type == typeFloat || it->type == typeUnitFloat) {
        *value = it->number;
        if (unit)
            *unit = it->type == typeUnitFloat ? it->unit : unitNone;
        return noErr;
    }
    if (it->type == typeInteger) {
        *value = it->integer;
        if (unit)
            *unit = unitNone;
        return noErr;
    }
    return WrongType(r, kWantNumber);
}

OSErr CDescriptorSession::GetInteger(PIReadDescriptor r, int32_t* value) {
    const DescriptorItem* it = Current(r, value);
    if (it == nullptr)
        return paramErr;
    if (it->type == typeInteger || it->type == typeBoolean) {
        *value = it->integer;
        return noErr;
    }
    if (it->type == typeFloat || it->type == typeUnitFloat) {
        *value = int32_t(std::clamp(it->number, double(INT32_MIN), double(INT32_MAX)));
        return noErr;
    }
    return WrongType(r, kWantInteger);
}

OSErr CDescriptorSession::GetBoolean(PIReadDescriptor r, Boolean* value) {
    const DescriptorItem* it = Current(r, value);
    if (it == nullptr)
        return paramErr;
    if (it->type != typeBoolean && it->type != typeInteger)
        return WrongType(r, kWantBoolean);
    *value = it->integer != 0;
    return noErr;
}

OSErr CDescriptorSession::GetText(PIReadDescriptor r, Handle* value) {
    const DescriptorItem* it = Current(r, value);
    if (it == nullptr)
        return paramErr;
    if (it->type != typeChar)
        return WrongType(r, "text (TEXT)");
    *value = m_memory.HandleFromBytes(it->text);
    return *value ? noErr : Fail(r, memFullErr);
}

OSErr CDescriptorSession::GetAlias(PIReadDescriptor r, Handle* value) {
    const DescriptorItem* it = Current(r, value);
    if (it == nullptr)
        return paramErr;
    if (it->type != kTypeAlias)
        return WrongType(r, "an alias (alis)");
    *value = m_memory.HandleFromBytes(it->text);
    return *value ? noErr : Fail(r, memFullErr);
}

OSErr CDescriptorSession::GetEnumerated(PIReadDescriptor r, DescriptorEnumID* value) {
    const DescriptorItem* it = Current(r, value);
    if (it == nullptr)
        return paramErr;
    if (it->type != typeEnumerated)
        return WrongType(r, "an enumerated value (enum)");
    *value = it->enumValue;
    return noErr;
}

OSErr CDescriptorSession::GetClass(PIReadDescriptor r, DescriptorClassID* value) {
    const DescriptorItem* it = Current(r, value);
    if (it == nullptr)
        return paramErr;
    if (it->type != typeClass)
        return WrongType(r, "a class (type)");
    *value = it->enumValue;
    return noErr;
}

OSErr CDescriptorSession::GetSimpleReference(PIReadDescriptor r) {
    // This host stores no references, so whatever the item is, it is not one.
    return Reader(r) != nullptr && Reader(r)->current != nullptr
               ? WrongType(r, "a reference, which this host does not store")
               : Fail(r, paramErr);
}

OSErr CDescriptorSession::GetObject(PIReadDescriptor r, DescriptorClassID* type,
                                    PIDescriptorHandle* value) {
    const DescriptorItem* it = Current(r, value);
    if (it == nullptr)
        return paramErr;
    if (it->type != typeObject)
        return WrongType(r, "an object (Objc)");
    if (type)
        *type = it->enumValue;
    *value = m_memory.HandleFromBytes(it->text);
    return *value ? noErr : Fail(r, memFullErr);
}

OSErr CDescriptorSession::GetCount(PIReadDescriptor r, uint32_t* value) {
    const DescriptorItem* it = Current(r, value);
    if (it == nullptr)
        return paramErr;
    if (it->type != typeInteger)
        return WrongType(r, "a count (long)");
    *value = uint32_t(it->integer);
    return noErr;
}

OSErr CDescriptorSession::GetString(PIReadDescriptor r, Str255* value) {
    const DescriptorItem* it = Current(r, value);
    if (it == nullptr)
        return paramErr;
    if (it->type != typeChar)
        return WrongType(r, "text (TEXT)");
    const size_t n = std::min<size_t>(it->text.size(), 255);
    (*value)[0] = uint8_t(n);
    std::memcpy(*value + 1, it->text.data(), n);
    return noErr;
}

OSErr CDescriptorSession::GetPinnedInteger(PIReadDescriptor r, int32_t min, int32_t max,
                                           int32_t* value) {
    OSErr e = GetInteger(r, value);
    if (e != noErr)
        return e;
    if (*value < min || *value > max) {
        *value = std::clamp(*value, min, std::max(min, max));
        return Fail(r, coercedParamErr);
    }
    return noErr;
}

OSErr CDescriptorSession::GetPinnedFloat(PIReadDescriptor r, const double* min, const double* max,
                                         double* value) {
    DescriptorUnitID unit = 0;
    return GetPinnedUnitFloat(r, min, max, &unit, value);
}

OSErr CDescriptorSession::GetPinnedUnitFloat(PIReadDescriptor r, const double* min,
                                             const double* max, DescriptorUnitID* unit,
                                             double* value) {
    OSErr e = GetUnitFloat(r, unit, value);
    if (e != noErr)
        return e;
    if ((min && *value < *min) || (max && *value > *max)) {
        if (min && *value < *min)
            *value = *min;
        if (max && *value > *max)
            *value = *max;
        return Fail(r, coercedParamErr);
    }
    return noErr;
}

PIWriteDescriptor CDescriptorSession::OpenWrite() {
    try {
        auto s = std::make_unique<CDescriptor>();
        auto w = reinterpret_cast<PIWriteDescriptor>(s.get());
        m_writers[w] = std::move(s);
        return w;
    } catch (...) {
        return nullptr;
    }
}

OSErr CDescriptorSession::CloseWrite(PIWriteDescriptor w, PIDescriptorHandle* out) {
    try {
        auto it = m_writers.find(w);
        if (it == m_writers.end())
            return paramErr;
        OSErr e = noErr;
        if (out == nullptr) {
            e = paramErr;
        } else {
            *out = m_memory.HandleFromBytes(it->second->Encode());
            if (*out == nullptr)
                e = memFullErr;
            else
                m_written.insert(*out);
        }
        m_writers.erase(it);
        return e;
    } catch (...) {
        return memFullErr;
    }
}

OSErr CDescriptorSession::Put(PIWriteDescriptor w, DescriptorItem item) {
    try {
        auto it = m_writers.find(w);
        if (it == m_writers.end())
            return paramErr;
        it->second->items.push_back(std::move(item));
        return noErr;
    } catch (...) {
        return memFullErr;
    }
}

OSErr CDescriptorSession::PutBytes(PIWriteDescriptor w, DescriptorKeyID key, DescriptorTypeID type,
                                   uint32_t objectClass, Handle h) {
    try {
        if (!m_memory.Owns(h))
            return paramErr;
        DescriptorItem item;
        item.key = key;
        item.type = type;
        item.enumValue = objectClass;
        item.text = m_memory.HandleBytes(h);
        return Put(w, std::move(item));
    } catch (...) {
        return memFullErr;
    }
}

}  // namespace vg::host
