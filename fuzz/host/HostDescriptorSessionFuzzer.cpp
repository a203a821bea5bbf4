// Fuzz target for the host's descriptor session: a descriptor file's text (up to the first
// NUL byte) is passed to the session as a plug-in's descriptor handle, and the bytes after it
// are the plug-in's calls: get the next key, read the current value as each type, close and
// reopen, write values and close writers. Checks what a plug-in relies on: keys come in
// order, a read of the right type succeeds, a read of the wrong type fails and names the
// item, the expected-key list stays terminated, and a closed writer holds what was put.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "host/DescriptorSession.h"

namespace {

using namespace vg::host;

[[noreturn]] void Fail(const char* what) {
    std::fprintf(stderr, "fuzz check failed: %s\n", what);
    std::abort();
}

// Which read types accept an item of this type (mirrors the interface's coercions).
bool Accepts(int op, uint32_t type) {
    const bool number = type == ps::typeFloat || type == ps::typeUnitFloat;
    switch (op) {
        case 0:  // integer
        case 12:
            return number || type == ps::typeInteger || type == ps::typeBoolean;
        case 1:  // float, unit float
        case 2:
        case 13:
        case 14:
            return number || type == ps::typeInteger;
        case 3:
            return type == ps::typeBoolean || type == ps::typeInteger;
        case 4:
        case 11:
            return type == ps::typeChar;
        case 5:
            return type == ps::FourCC("alis");
        case 6:
            return type == ps::typeEnumerated;
        case 7:
            return type == ps::typeClass;
        case 9:
            return type == ps::typeObject;
        case 10:
            return type == ps::typeInteger;
        default:
            return false;  // 8: references are never stored
    }
}

// Reads the current item as type op; returns the error.
ps::OSErr Read(CDescriptorSession& s, CHostMemory& memory, ps::PIReadDescriptor r, int op) {
    int32_t i = 0;
    double d = 0, lo = -1, hi = 1;
    uint32_t u = 0;
    ps::Boolean b = 0;
    ps::Handle h = nullptr;
    ps::Str255 str;
    ps::OSErr e = ps::noErr;
    switch (op) {
        case 0:
            e = s.GetInteger(r, &i);
            break;
        case 1:
            e = s.GetFloat(r, &d);
            break;
        case 2:
            e = s.GetUnitFloat(r, &u, &d);
            break;
        case 3:
            e = s.GetBoolean(r, &b);
            break;
        case 4:
            e = s.GetText(r, &h);
            break;
        case 5:
            e = s.GetAlias(r, &h);
            break;
        case 6:
            e = s.GetEnumerated(r, &u);
            break;
        case 7:
            e = s.GetClass(r, &u);
            break;
        case 8:
            e = s.GetSimpleReference(r);
            break;
        case 9:
            e = s.GetObject(r, &u, &h);
            break;
        case 10:
            e = s.GetCount(r, &u);
            break;
        case 11:
            e = s.GetString(r, &str);
            break;
        case 12:
            e = s.GetPinnedInteger(r, -5, 5, &i);
            break;
        case 13:
            e = s.GetPinnedFloat(r, &lo, &hi, &d);
            break;
        default:
            e = s.GetPinnedUnitFloat(r, &lo, &hi, &u, &d);
            break;
    }
    if (h != nullptr) {
        if (!memory.Owns(h))
            Fail("read handle not from host memory");
        memory.DisposeHandle(h);
    }
    return e;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    const size_t split = std::min(bytes.find('\0'), bytes.size());
    CDescriptor source;
    std::string error;
    if (!CDescriptor::FromText(bytes.substr(0, split), &source, &error))
        return 0;
    const std::string ops = split < bytes.size() ? bytes.substr(split + 1) : std::string();

    CHostMemory memory(1 << 20);
    CDescriptorSession session(memory);
    session.SetReportMissingKeys(!ops.empty() && (ops[0] & 1));
    ps::Handle passed = memory.HandleFromBytes(source.Encode());
    session.SetPassed(passed, &source);
    if (session.OpenRead(nullptr, nullptr) != nullptr)
        Fail("opened a null descriptor");

    // Expected keys: the first items' keys, zero-terminated, with a guard word after.
    std::vector<ps::DescriptorKeyID> keys;
    for (size_t i = 0; i < source.items.size() && keys.size() < 8; ++i)
        if (source.items[i].key != 0)
            keys.push_back(source.items[i].key);
    keys.push_back(0);
    keys.push_back(0xDEADBEEF);

    ps::PIReadDescriptor reader = session.OpenRead(passed, keys.data());
    if (reader == nullptr)
        Fail("the host's own descriptor was refused");
    size_t next = 0;
    bool sticky = false;
    ps::PIWriteDescriptor writer = nullptr;
    CDescriptor written;
    for (unsigned char op : ops) {
        const int kind = op >> 4, arg = op & 15;
        if (kind < 6) {  // next key, then a read
            ps::DescriptorKeyID key = 0;
            ps::DescriptorTypeID type = 0;
            const bool got = session.GetKey(reader, &key, &type, nullptr);
            if (got != (next < source.items.size()))
                Fail("key count");
            if (!got)
                continue;
            if (key != source.items[next].key || type != source.items[next].type)
                Fail("keys out of order");
            const bool problemBefore = session.Problem().found;
            ps::OSErr e = Read(session, memory, reader, arg % 15);
            if (Accepts(arg % 15, type)) {
                if (e != ps::noErr && e != ps::coercedParamErr)
                    Fail("a read of the right type failed");
            } else {
                if (e != ps::paramErr)
                    Fail("a read of the wrong type succeeded");
                const DescriptorProblem& p = session.Problem();
                if (!p.found || (!problemBefore && (p.item != next || p.key != key ||
                                                    p.line != source.items[next].line)))
                    Fail("the problem does not name the item");
                sticky = true;
            }
            if (e == ps::coercedParamErr)
                sticky = true;
            ++next;
        } else if (kind < 8) {  // close and reopen from the start
            const ps::OSErr e = session.CloseRead(reader);
            if (sticky && e == ps::noErr)
                Fail("close lost the sticky error");
            reader = session.OpenRead(passed, keys.data());
            if (reader == nullptr)
                Fail("reopen refused");
            next = 0;
            sticky = false;
        } else if (kind < 14) {  // write a value
            if (writer == nullptr) {
                writer = session.OpenWrite();
                written = CDescriptor();
            }
            DescriptorItem item;
            item.key = 0x41414141u + uint32_t(arg);
            item.type = arg & 1 ? ps::typeInteger : ps::typeFloat;
            if (arg & 1)
                item.integer = arg;
            else
                item.number = arg * 0.5;
            if (session.Put(writer, item) != ps::noErr)
                Fail("put refused");
            written.items.push_back(item);
        } else if (writer != nullptr) {  // close the writer
            ps::PIDescriptorHandle out = nullptr;
            if (session.CloseWrite(writer, &out) != ps::noErr || !session.IsWritten(out))
                Fail("close write");
            CDescriptor back;
            if (!CDescriptor::Decode(memory.HandleBytes(out), &back, &error) ||
                !(back.items == written.items))
                Fail("writer lost values");
            session.ForgetWritten(out);
            memory.DisposeHandle(out);
            writer = nullptr;
        }
        if (keys[keys.size() - 2] != 0 || keys.back() != 0xDEADBEEF)
            Fail("expected-key list overrun");
    }
    session.CloseRead(reader);
    if (session.CloseRead(reader) != ps::paramErr)
        Fail("closed twice");
    session.Reset();
    memory.DisposeHandle(passed);
    if (memory.LiveHandles() != 0)
        Fail("handles left");
    return 0;
}
