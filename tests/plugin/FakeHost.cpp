// The scriptable test host.
#include "FakeHost.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

FakeHost* FakeHost::s_current = nullptr;

namespace {

constexpr size_t kPage = 4096;

ps::Handle NewBytesHandle(const void* bytes, size_t size) {
    auto h = new char*;
    *h = static_cast<char*>(std::calloc(1, size ? size : 1));
    if (bytes && size)
        std::memcpy(*h, bytes, size);
    return h;
}

struct Reader {
    std::vector<DescriptorItem> items;
    size_t next = 0;
    size_t current = 0;
};

struct Writer {
    std::vector<DescriptorItem> items;
};

std::vector<DescriptorItem> ItemsOf(ps::Handle h) {
    std::vector<DescriptorItem> items;
    if (!h || !*h)
        return items;
    uint32_t count = 0;
    std::memcpy(&count, *h, sizeof count);
    items.resize(count);
    std::memcpy(items.data(), *h + 8, count * sizeof(DescriptorItem));
    return items;
}

ps::Handle HandleOf(const std::vector<DescriptorItem>& items) {
    std::vector<char> bytes(8 + items.size() * sizeof(DescriptorItem));
    uint32_t count = uint32_t(items.size());
    std::memcpy(bytes.data(), &count, sizeof count);
    std::memcpy(bytes.data() + 8, items.data(), items.size() * sizeof(DescriptorItem));
    return NewBytesHandle(bytes.data(), bytes.size());
}

}  // namespace

// The host's callbacks; they reach the host being driven through FakeHost::s_current.
struct FakeHostProcs {
    static FakeHost& H() { return *FakeHost::s_current; }

    static ps::Handle NewHandle(int32_t size) {
        ++H().handlesLive;
        return NewBytesHandle(nullptr, size_t(size));
    }
    static void DisposeHandle(ps::Handle h) {
        if (!h)
            return;
        --H().handlesLive;
        std::free(*h);
        delete h;
    }
    static int32_t GetSize(ps::Handle) { return 0; }
    static ps::OSErr SetSize(ps::Handle, int32_t) { return 0; }
    static ps::Ptr Lock(ps::Handle h, ps::Boolean) {
        if (!h)
            return nullptr;
        ++H().locks;
        return *h;
    }
    static void Unlock(ps::Handle) { ++H().unlocks; }

    static ps::Boolean Abort() {
        ++H().abortCalls;
        return H().m_options.abortAfter >= 0 && H().abortCalls > H().m_options.abortAfter;
    }
    static void Progress(int32_t, int32_t) { ++H().progressCalls; }
    static ps::OSErr Advance() {
        ++H().advanceCalls;
        H().Deliver();
        return H().fetched.empty() ? ps::OSErr(-30100) : ps::OSErr(0);
    }

    static ps::PIReadDescriptor OpenRead(ps::PIDescriptorHandle h, ps::DescriptorKeyID*) {
        auto* r = new Reader;
        r->items = ItemsOf(h);
        return reinterpret_cast<ps::PIReadDescriptor>(r);
    }
    static ps::OSErr CloseRead(ps::PIReadDescriptor reader) {
        delete reinterpret_cast<Reader*>(reader);
        return H().closeReadResult;
    }
    static ps::Boolean GetKey(ps::PIReadDescriptor reader, ps::DescriptorKeyID* key,
                              ps::DescriptorTypeID* type, int32_t* flags) {
        auto* r = reinterpret_cast<Reader*>(reader);
        if (r->next >= r->items.size())
            return 0;
        r->current = r->next++;
        *key = r->items[r->current].key;
        *type = ps::typeFloat;
        *flags = 0;
        return 1;
    }
    static ps::OSErr GetFloat(ps::PIReadDescriptor reader, ps::real64* value) {
        auto* r = reinterpret_cast<Reader*>(reader);
        *value = r->items[r->current].value;
        return 0;
    }
    static ps::PIWriteDescriptor OpenWrite() {
        if (!H().m_options.writer)
            return nullptr;
        return reinterpret_cast<ps::PIWriteDescriptor>(new Writer);
    }
    static ps::OSErr CloseWrite(ps::PIWriteDescriptor writer, ps::PIDescriptorHandle* out) {
        auto* w = reinterpret_cast<Writer*>(writer);
        if (H().closeWriteResult == 0) {
            ++H().handlesLive;
            *out = HandleOf(w->items);
        }
        delete w;
        return H().closeWriteResult;
    }
    static ps::OSErr PutFloat(ps::PIWriteDescriptor writer, ps::DescriptorKeyID key,
                              const ps::real64* value) {
        reinterpret_cast<Writer*>(writer)->items.push_back({key, *value});
        return 0;
    }

    static ps::SPErr Acquire(const char* name, int32_t version, const void** suite) {
        if (std::strcmp(name, "Photoshop Buffer Suite for Plug-ins") != 0 || version != 1)
            return ps::FourCC("S!Fd");
        ++H().suiteAcquire;
        *suite = &H().m_bufferSuite;
        return 0;
    }
    static ps::SPErr Release(const char*, int32_t) {
        ++H().suiteRelease;
        return 0;
    }
    static ps::Ptr BufferNew(ps::unsigned32*, ps::unsigned32 minimum) {
        ++H().suiteNew;
        return static_cast<ps::Ptr>(std::malloc(minimum));
    }
    static void BufferDispose(ps::Ptr* buffer) {
        ++H().suiteDispose;
        std::free(*buffer);
        *buffer = nullptr;
    }
};

FakeHost::FakeHost(const std::string& modulePath, FakeHostOptions options) : m_options(options) {
    s_current = this;
    m_module = LoadLibraryA(modulePath.c_str());
    if (m_module)
        m_main = reinterpret_cast<ps::PluginMainProc>(
            reinterpret_cast<void*>(GetProcAddress(m_module, "PluginMain")));

    // The record ends where readable memory ends, so any read past the host's length faults.
    m_pages = VirtualAlloc(nullptr, 2 * kPage, MEM_RESERVE | MEM_COMMIT, PAGE_READWRITE);
    DWORD old = 0;
    VirtualProtect(static_cast<char*>(m_pages) + kPage, kPage, PAGE_NOACCESS, &old);
    m_record = reinterpret_cast<ps::FilterRecord*>(static_cast<char*>(m_pages) + kPage -
                                                   size_t(options.recordSize));
    std::memset(m_record, 0, size_t(options.recordSize));

    ps::FilterRecord& r = *m_record;
    r.abortProc = FakeHostProcs::Abort;
    r.progressProc = FakeHostProcs::Progress;
    r.imageSize = {int16_t(std::min(options.height, 32767)),
                   int16_t(std::min(options.width, 32767))};
    r.planes = 3;
    r.filterRect = {0, 0, int16_t(std::min(options.height, 32767)),
                    int16_t(std::min(options.width, 32767))};
    r.maxSpace = 1 << 30;
    r.imageMode = options.imageMode;
    r.hostSig = ps::FourCC("TEST");
    r.advanceState = FakeHostProcs::Advance;
    r.supportsPadding = options.padding;
    r.samplingSupport = options.sampling ? ps::hostSupportsIntegralSampling : 0;
    r.inputRate = ps::kFixedOne;
    r.depth = options.imageMode == ps::plugInModeRGB48 ? 16 : 8;
    r.errorString = reinterpret_cast<ps::Str255*>(m_errorString);

    m_handleProcs = {1,
                     8,
                     FakeHostProcs::NewHandle,
                     FakeHostProcs::DisposeHandle,
                     FakeHostProcs::GetSize,
                     FakeHostProcs::SetSize,
                     FakeHostProcs::Lock,
                     FakeHostProcs::Unlock,
                     nullptr,
                     nullptr};
    r.handleProcs = &m_handleProcs;

    if (options.descriptors) {
        m_readProcs.openReadDescriptorProc = FakeHostProcs::OpenRead;
        m_readProcs.closeReadDescriptorProc = FakeHostProcs::CloseRead;
        m_readProcs.getKeyProc = FakeHostProcs::GetKey;
        m_readProcs.getFloatProc = FakeHostProcs::GetFloat;
        m_writeProcs.openWriteDescriptorProc = FakeHostProcs::OpenWrite;
        m_writeProcs.closeWriteDescriptorProc = FakeHostProcs::CloseWrite;
        m_writeProcs.putFloatProc = FakeHostProcs::PutFloat;
        m_descParams.readDescriptorProcs = &m_readProcs;
        m_descParams.writeDescriptorProcs = &m_writeProcs;
        m_descParams.playInfo = ps::plugInDialogDisplay;
        r.descriptorParameters = &m_descParams;
    }
    if (options.bufferSuite) {
        m_basic.AcquireSuite = FakeHostProcs::Acquire;
        m_basic.ReleaseSuite = FakeHostProcs::Release;
        m_bufferSuite.New = FakeHostProcs::BufferNew;
        m_bufferSuite.Dispose = FakeHostProcs::BufferDispose;
        r.sSPBasic = &m_basic;
    }
    if (options.bigDocument) {
        m_big.imageSize32 = {options.height, options.width};
        m_big.filterRect32 = {0, 0, options.height, options.width};
        m_big.wholeSize32 = {options.height, options.width};
        r.bigDocumentData = &m_big;
    }

    const size_t pixels = size_t(options.width) * size_t(options.height) * 3;
    if (options.imageMode == ps::plugInModeRGB48) {
        image16.resize(pixels);
        for (size_t i = 0; i < pixels; ++i) image16[i] = uint16_t((i * 977) % 32769);
    } else {
        image8.resize(pixels);
        for (size_t i = 0; i < pixels; ++i) image8[i] = uint8_t((i * 7 + i / 191) & 0xFF);
    }
}

FakeHost::~FakeHost() {
    if (m_module)
        FreeLibrary(m_module);
    VirtualFree(m_pages, 0, MEM_RELEASE);
    s_current = nullptr;
}

int16_t FakeHost::Call(int16_t selector) {
    s_current = this;
    int16_t result = 0;
    m_main(selector, m_record, &m_data, &result);
    return result;
}

int16_t FakeHost::Run(bool interactive) {
    int16_t r = 0;
    if (interactive && (r = Call(ps::filterSelectorParameters)) != 0)
        return r;
    if ((r = Call(ps::filterSelectorPrepare)) != 0)
        return r;
    if ((r = Call(ps::filterSelectorStart)) != 0)
        return r;
    for (int i = 0; i < 8; ++i) {
        const ps::Rect& in = m_record->inRect;
        const ps::Rect& out = m_record->outRect;
        if (in.right <= in.left && out.right <= out.left)
            break;
        if ((r = Call(ps::filterSelectorContinue)) != 0)
            return r;
    }
    return Call(ps::filterSelectorFinish);
}

const double* FakeHost::StoredParams() const {
    if (!m_data)
        return nullptr;
    return reinterpret_cast<const double*>(*reinterpret_cast<ps::Handle>(m_data));
}

void FakeHost::SetDescriptor(const std::vector<DescriptorItem>& items, int16_t playInfo) {
    if (m_descParams.descriptor)
        FakeHostProcs::DisposeHandle(m_descParams.descriptor);
    m_descParams.descriptor = nullptr;
    if (!items.empty()) {
        ++handlesLive;
        m_descParams.descriptor = HandleOf(items);
    }
    m_descParams.playInfo = playInfo;
}

bool FakeHost::HasDescriptor() const {
    return m_descParams.descriptor != nullptr;
}

std::vector<DescriptorItem> FakeHost::RecordedDescriptor() const {
    return ItemsOf(m_descParams.descriptor);
}

std::string FakeHost::errorText() const {
    return std::string(reinterpret_cast<const char*>(m_errorString + 1), m_errorString[0]);
}

void FakeHost::Deliver() {
    fetched.clear();
    ps::FilterRecord& r = *m_record;
    ps::VRect rect{};
    if (r.bigDocumentData && m_big.PluginUsing32BitCoordinates)
        rect = m_big.inRect32;
    else
        rect = {r.inRect.top, r.inRect.left, r.inRect.bottom, r.inRect.right};
    const int step = r.samplingSupport ? std::max(1, int(r.inputRate >> 16)) : 1;
    const int32_t w = rect.right - rect.left, h = rect.bottom - rect.top;
    const int32_t sw = (m_options.width + step - 1) / step,
                  sh = (m_options.height + step - 1) / step;
    if (w <= 0 || h <= 0 || rect.left < 0 || rect.top < 0 || rect.right > sw || rect.bottom > sh)
        return;
    const bool deep = m_options.imageMode == ps::plugInModeRGB48;
    const int32_t bpp = deep ? 6 : 3;
    const int32_t rowBytes = w * bpp + 8;  // strides wider than the rows, as real hosts have
    m_inBuffer.assign(size_t(rowBytes) * size_t(h), 0);
    outBuffer.assign(size_t(rowBytes) * size_t(h), 0xEE);
    for (int32_t y = 0; y < h; ++y)
        for (int32_t x = 0; x < w; ++x) {
            const size_t src =
                (size_t(rect.top + y) * step * m_options.width + size_t(rect.left + x) * step) * 3;
            uint8_t* dst = m_inBuffer.data() + size_t(y) * rowBytes + size_t(x) * bpp;
            if (deep)
                std::memcpy(dst, &image16[src], 6);
            else
                std::memcpy(dst, &image8[src], 3);
        }
    r.inData = m_inBuffer.data();
    r.outData = outBuffer.data();
    r.inRowBytes = rowBytes;
    r.outRowBytes = rowBytes;
    outRowBytes = rowBytes;
    fetched.push_back(rect);
}

MessageBoxCloser::MessageBoxCloser() {
    // The module imports the common controls. Under Wine their initialisation, when the module
    // is loaded, can deadlock with a thread that is inside a window call at that moment (the
    // loader and window-manager locks taken in opposite orders), so they are loaded before the
    // polling thread starts.
    LoadLibraryA("comctl32.dll");
    InitializeCriticalSection(&m_lock);
    m_thread = std::thread([this] {
        while (!m_stop) {
            EnumWindows(
                [](HWND hwnd, LPARAM param) -> BOOL {
                    auto* self = reinterpret_cast<MessageBoxCloser*>(param);
                    DWORD pid = 0;
                    GetWindowThreadProcessId(hwnd, &pid);
                    char cls[32] = {};
                    GetClassNameA(hwnd, cls, sizeof cls);
                    if (pid != GetCurrentProcessId() || std::strcmp(cls, "#32770") != 0 ||
                        GetPropA(hwnd, "vg-test-seen"))
                        return TRUE;
                    char caption[128] = {}, text[1024] = {};
                    GetWindowTextA(hwnd, caption, sizeof caption);
                    GetDlgItemTextA(hwnd, 0xFFFF, text, sizeof text);
                    // A box found while it is being made has no text yet: look again later.
                    if (text[0] == '\0')
                        return TRUE;
                    SetPropA(hwnd, "vg-test-seen", reinterpret_cast<HANDLE>(1));
                    EnterCriticalSection(&self->m_lock);
                    self->m_texts.push_back(std::string(caption) + "|" + text);
                    LeaveCriticalSection(&self->m_lock);
                    PostMessageA(hwnd, WM_COMMAND, IDOK, 0);
                    return TRUE;
                },
                reinterpret_cast<LPARAM>(this));
            Sleep(20);
        }
    });
}

MessageBoxCloser::~MessageBoxCloser() {
    m_stop = true;
    m_thread.join();
    DeleteCriticalSection(&m_lock);
}

std::vector<std::string> MessageBoxCloser::Texts() {
    EnterCriticalSection(&m_lock);
    std::vector<std::string> copy = m_texts;
    LeaveCriticalSection(&m_lock);
    return copy;
}

std::string TestFolder() {
    char path[MAX_PATH] = {};
    GetModuleFileNameA(nullptr, path, MAX_PATH);
    std::string folder(path);
    folder.erase(folder.find_last_of("\\/") + 1);
    return folder;
}
