// A scriptable host for the plug-in's tests: it loads the built module, keeps a filter record
// of a chosen length at the end of readable memory, and offers handles, descriptors, image
// delivery, sampling, big-document rectangles, progress, cancel and a buffer suite on demand.
#pragma once

#include "sdk/PluginInterface.h"

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <utility>
#include <vector>

struct FakeHostOptions {
    int32_t recordSize = ps::kFilterRecordSize;
    bool bigDocument = false;
    bool sampling = true;
    bool padding = true;
    bool descriptors = true;
    bool writer = true;  // openWriteDescriptorProc returns a writer
    bool bufferSuite = false;
    int16_t imageMode = ps::plugInModeRGBColor;
    int32_t width = 64;
    int32_t height = 48;
    int abortAfter = -1;  // abortProc reports cancel from this call on (-1: never)
};

// One value of a recorded descriptor.
struct DescriptorItem {
    uint32_t key;
    double value;
};

class FakeHost {
public:
    explicit FakeHost(const std::string& modulePath, FakeHostOptions options = {});
    ~FakeHost();
    FakeHost(const FakeHost&) = delete;
    FakeHost& operator=(const FakeHost&) = delete;

    bool Loaded() const { return m_module != nullptr; }
    // Calls PluginMain; returns *result.
    int16_t Call(int16_t selector);
    // Parameters (when interactive), Prepare, Start, Continue while rectangles are
    // requested, Finish when Start succeeded: the host's side of a filter run.
    int16_t Run(bool interactive);

    ps::FilterRecord* Record() { return m_record; }
    intptr_t& DataWord() { return m_data; }
    // The parameter block the data word's handle holds, or null.
    const double* StoredParams() const;

    // Descriptor the next Start reads (empty: none recorded) and its play mode.
    void SetDescriptor(const std::vector<DescriptorItem>& items, int16_t playInfo);
    bool HasDescriptor() const;
    std::vector<DescriptorItem> RecordedDescriptor() const;
    int16_t closeReadResult = 0;
    int16_t closeWriteResult = 0;

    // Pixels of the whole image: 3 samples per pixel, 8 or 16 bits.
    std::vector<uint8_t> image8;
    std::vector<uint16_t> image16;
    std::string errorText() const;

    // What the plug-in did.
    int advanceCalls = 0;
    int progressCalls = 0;
    int abortCalls = 0;
    int locks = 0;
    int unlocks = 0;
    int suiteNew = 0;
    int suiteDispose = 0;
    int suiteAcquire = 0;
    int suiteRelease = 0;
    int handlesLive = 0;
    std::vector<ps::VRect> fetched;  // rectangles delivered by advanceState

    // The out buffer of the last delivery, as the plug-in left it.
    std::vector<uint8_t> outBuffer;
    int32_t outRowBytes = 0;

private:
    static FakeHost* s_current;
    void Deliver();

    HMODULE m_module = nullptr;
    ps::PluginMainProc m_main = nullptr;
    FakeHostOptions m_options;
    void* m_pages = nullptr;
    ps::FilterRecord* m_record = nullptr;
    intptr_t m_data = 0;
    ps::BigDocumentStruct m_big{};
    ps::HandleProcs m_handleProcs{};
    ps::PIDescriptorParameters m_descParams{};
    ps::ReadDescriptorProcs m_readProcs{};
    ps::WriteDescriptorProcs m_writeProcs{};
    ps::SPBasicSuite m_basic{};
    ps::PSBufferSuite1 m_bufferSuite{};
    unsigned char m_errorString[256] = {};
    std::vector<uint8_t> m_inBuffer;

    friend struct FakeHostProcs;
};

// Closes every message box this process shows and keeps their texts.
class MessageBoxCloser {
public:
    MessageBoxCloser();
    ~MessageBoxCloser();
    std::vector<std::string> Texts();

private:
    std::atomic<bool> m_stop{false};
    std::vector<std::string> m_texts;
    CRITICAL_SECTION m_lock;
    std::thread m_thread;
};

// Folder of the test executable, with a trailing backslash.
std::string TestFolder();
