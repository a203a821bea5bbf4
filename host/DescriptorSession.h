// The scripting descriptors a plug-in reads and writes during a run: the state behind the
// read and write descriptor procs. Portable, so that it is fuzzed natively.
#pragma once

#include "host/Descriptor.h"
#include "host/HostMemory.h"
#include "sdk/PluginInterface.h"

#include <map>
#include <memory>
#include <set>
#include <string>

namespace vg::host {

// The first value a plug-in could not read because of its type.
struct DescriptorProblem {
    bool found = false;
    size_t item = 0;   // index of the item in its descriptor
    uint32_t key = 0;  // the item's key and type
    uint32_t type = 0;
    int32_t line = 0;    // the item's line in the descriptor file it came from, if known
    std::string wanted;  // what the plug-in asked for, e.g. "a number (doub, UntF or long)"
};

// One sentence for the user: "item 1 (CIT_, line 3) is 'TEXT' where the plug-in reads a
// number (doub, UntF or long)".
std::string DescribeProblem(const DescriptorProblem& problem);

// Owns the open readers (each with its decoded descriptor and position) and writers, and
// remembers the handles writers closed into. Readers and writers are the addresses of their
// own state; calls with any other pointer are refused. Handles come from the host memory.
// Every entry point keeps exceptions inside (they would cross the plug-in's frames).
class CDescriptorSession {
public:
    explicit CDescriptorSession(CHostMemory& memory) : m_memory(memory) {}
    CDescriptorSession(const CDescriptorSession&) = delete;
    CDescriptorSession& operator=(const CDescriptorSession&) = delete;

    // closeRead reports errMissingParameter when an expected key was never read, as
    // Photoshop does.
    void SetReportMissingKeys(bool on) { m_reportMissingKeys = on; }
    // The descriptor the host passes to the plug-in, so that problems name its file lines.
    void SetPassed(ps::Handle handle, const CDescriptor* source);

    ps::PIReadDescriptor OpenRead(ps::PIDescriptorHandle descriptor, ps::DescriptorKeyID* keys);
    ps::OSErr CloseRead(ps::PIReadDescriptor r);
    bool GetKey(ps::PIReadDescriptor r, ps::DescriptorKeyID* key, ps::DescriptorTypeID* type,
                int32_t* flags);
    ps::OSErr GetInteger(ps::PIReadDescriptor r, int32_t* value);
    ps::OSErr GetFloat(ps::PIReadDescriptor r, double* value);
    ps::OSErr GetUnitFloat(ps::PIReadDescriptor r, ps::DescriptorUnitID* unit, double* value);
    ps::OSErr GetBoolean(ps::PIReadDescriptor r, ps::Boolean* value);
    ps::OSErr GetText(ps::PIReadDescriptor r, ps::Handle* value);
    ps::OSErr GetAlias(ps::PIReadDescriptor r, ps::Handle* value);
    ps::OSErr GetEnumerated(ps::PIReadDescriptor r, ps::DescriptorEnumID* value);
    ps::OSErr GetClass(ps::PIReadDescriptor r, ps::DescriptorClassID* value);
    ps::OSErr GetSimpleReference(ps::PIReadDescriptor r);
    ps::OSErr GetObject(ps::PIReadDescriptor r, ps::DescriptorClassID* type,
                        ps::PIDescriptorHandle* value);
    ps::OSErr GetCount(ps::PIReadDescriptor r, uint32_t* value);
    ps::OSErr GetString(ps::PIReadDescriptor r, ps::Str255* value);
    ps::OSErr GetPinnedInteger(ps::PIReadDescriptor r, int32_t min, int32_t max, int32_t* value);
    ps::OSErr GetPinnedFloat(ps::PIReadDescriptor r, const double* min, const double* max,
                             double* value);
    ps::OSErr GetPinnedUnitFloat(ps::PIReadDescriptor r, const double* min, const double* max,
                                 ps::DescriptorUnitID* unit, double* value);

    ps::PIWriteDescriptor OpenWrite();
    ps::OSErr CloseWrite(ps::PIWriteDescriptor w, ps::PIDescriptorHandle* out);
    ps::OSErr Put(ps::PIWriteDescriptor w, DescriptorItem item);
    // Text, alias and object values carry a handle's bytes.
    ps::OSErr PutBytes(ps::PIWriteDescriptor w, ps::DescriptorKeyID key, ps::DescriptorTypeID type,
                       uint32_t objectClass, ps::Handle h);

    // Whether the handle was made by CloseWrite (and not disposed since).
    bool IsWritten(ps::Handle h) const { return m_written.count(h) != 0; }
    void ForgetWritten(ps::Handle h) { m_written.erase(h); }
    const DescriptorProblem& Problem() const { return m_problem; }
    // Closes every reader and writer and forgets the written handles, the passed descriptor
    // and the problem: the end of a run.
    void Reset();

private:
    struct ReadState {
        CDescriptor descriptor;
        size_t next = 0;
        const DescriptorItem* current = nullptr;
        ps::DescriptorKeyID* keys = nullptr;
        ps::OSErr error = ps::noErr;
        const CDescriptor* source = nullptr;  // where the items came from, for their lines
    };

    ReadState* Reader(ps::PIReadDescriptor r);
    // The current item for a get call with a place for its value, or null (error set).
    const DescriptorItem* Current(ps::PIReadDescriptor r, const void* out);
    // Records a type mismatch on the current item and returns paramErr (sticky).
    ps::OSErr WrongType(ps::PIReadDescriptor r, const char* wanted);
    ps::OSErr Fail(ps::PIReadDescriptor r, ps::OSErr e);

    CHostMemory& m_memory;
    bool m_reportMissingKeys = false;
    ps::Handle m_passed = nullptr;
    const CDescriptor* m_passedSource = nullptr;
    std::map<ps::PIReadDescriptor, std::unique_ptr<ReadState>> m_readers;
    std::map<ps::PIWriteDescriptor, std::unique_ptr<CDescriptor>> m_writers;
    std::set<ps::Handle> m_written;
    DescriptorProblem m_problem;
};

}  // namespace vg::host
