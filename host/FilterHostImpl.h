// The state behind CFilterHost, shared by the selector loop (FilterHostWin.cpp) and the
// callbacks the record offers (HostCallbacksWin.cpp). Private to the host library.
#pragma once

#include "host/ConsoleProgress.h"
#include "host/DescriptorSession.h"
#include "host/FilterHost.h"
#include "host/HostMemory.h"
#include "host/PlugInModuleWin.h"
#include "host/RegionDelivery.h"

#include <vector>

namespace vg::host {

// Owns the module and everything a host keeps while a plug-in is loaded (data word,
// parameter handle, last descriptor, handles), and during a run the record, the suites it
// points to and the parts that answer the plug-in's calls.
class CFilterHost::CImpl {
public:
    explicit CImpl(HostOptions options);

    // The host whose selector call is in progress; the interface's callbacks carry no
    // context, so they find it here. Set only around the plug-in's entry point.
    static CImpl* s_current;

    HostOptions m_opt;
    CPlugInModule m_module;
    intptr_t m_data = 0;
    ps::Handle m_parameters = nullptr;
    CDescriptor m_last;
    bool m_haveLast = false;
    int32_t m_runs = 0;

    CHostMemory m_memory;
    CDescriptorSession m_descriptors{m_memory};
    CRegionDelivery m_regions;
    CConsoleProgress m_progress;
    int32_t m_suitesHeld = 0;

    // The running session.
    ps::FilterRecord* m_rec = nullptr;
    void* m_recBlock = nullptr;
    std::vector<char> m_recPlain;
    ps::BigDocumentStruct m_big{};
    bool m_haveBig = false;
    ps::PIDescriptorParameters m_descParams{};
    ps::ReadDescriptorProcs m_readProcs{};
    ps::WriteDescriptorProcs m_writeProcs{};
    ps::HandleProcs m_handleProcs{};
    ps::BufferProcs m_bufferProcs{};
    ps::PropertyProcs m_propertyProcs{};
    ps::SPBasicSuite m_basic{};
    ps::PSBufferSuite1 m_buffer1{};
    ps::PSBufferSuite2 m_buffer2{};
    ps::PlatformData m_platform{};
    ps::Str255 m_errorString{};
    int16_t m_selector = 0;
    RunResult* m_result = nullptr;
    std::vector<void*> m_answered;  // message boxes (HWND) answered during the run
    int32_t m_abortCalls = 0;       // over the host's life, for cancelAfterAbortCalls

    // The record's fields that exist for the record size chosen.
    bool Has(size_t offset, size_t size) const;
    ps::FilterRecord* AllocateRecord();
    void FreeRecord();
    bool Uses32Bit() const { return m_haveBig && m_big.PluginUsing32BitCoordinates != 0; }
    ps::VRect RequestedIn() const;
    ps::VRect RequestedOut() const;
    ps::VRect RequestedMask() const;
    bool RectsRequested() const;
    // Delivers the rectangles the plug-in has set: what advanceState and the Continue loop do.
    ps::OSErr Fetch();
    void Progress(int32_t done, int32_t total);
    void NoteHeld();

    // Fills the procedure tables the record points to, and sets the record's own callbacks
    // (HostCallbacksWin.cpp).
    void BuildSuites();
    void SetRecordCallbacks(ps::FilterRecord& record) const;
    bool BuildRecord(CHostImage& image, const RunOptions& options, std::string* error);
    int16_t Call(int16_t selector, void* block, const RunOptions* options);
    RunResult Run(CHostImage& image, const RunOptions& options);
    RunResult About();
    void CollectDescriptor(RunResult& r);
};

}  // namespace vg::host
