// Move-only owners of Win32 handles, one traits class per kind of handle.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <utility>

// Owns one handle and closes it with Traits::Close. Never converts implicitly.
template <class Traits>
class CHandle {
public:
    using Type = typename Traits::Type;

    CHandle() = default;
    explicit CHandle(Type handle) : m_handle(handle) {}
    ~CHandle() { Reset(); }
    CHandle(const CHandle&) = delete;
    CHandle& operator=(const CHandle&) = delete;
    CHandle(CHandle&& other) noexcept : m_handle(other.Release()) {}
    CHandle& operator=(CHandle&& other) noexcept {
        if (this != &other) {
            Reset(other.Release());
        }
        return *this;
    }

    Type Get() const { return m_handle; }
    explicit operator bool() const { return m_handle != Traits::Null(); }
    // Gives up ownership without closing.
    Type Release() { return std::exchange(m_handle, Traits::Null()); }
    void Reset(Type handle = Traits::Null()) {
        Type old = std::exchange(m_handle, handle);
        if (old != Traits::Null()) {
            Traits::Close(old);
        }
    }

private:
    Type m_handle = Traits::Null();
};

struct GdiObjectTraits {
    using Type = HGDIOBJ;
    static Type Null() { return nullptr; }
    static void Close(Type h) { ::DeleteObject(h); }
};
struct MemoryDcTraits {
    using Type = HDC;
    static Type Null() { return nullptr; }
    static void Close(Type h) { ::DeleteDC(h); }
};
struct MenuTraits {
    using Type = HMENU;
    static Type Null() { return nullptr; }
    static void Close(Type h) { ::DestroyMenu(h); }
};
struct ImageListTraits {
    using Type = HIMAGELIST;
    static Type Null() { return nullptr; }
    static void Close(Type h) { ImageList_Destroy(h); }
};
struct ModuleTraits {
    using Type = HMODULE;
    static Type Null() { return nullptr; }
    static void Close(Type h) { ::FreeLibrary(h); }
};
struct IconTraits {
    using Type = HICON;
    static Type Null() { return nullptr; }
    static void Close(Type h) { ::DestroyIcon(h); }
};
struct AcceleratorTraits {
    using Type = HACCEL;
    static Type Null() { return nullptr; }
    static void Close(Type h) { ::DestroyAcceleratorTable(h); }
};
struct FileTraits {
    using Type = HANDLE;
    static Type Null() { return INVALID_HANDLE_VALUE; }
    static void Close(Type h) { ::CloseHandle(h); }
};

using CGdiHandle = CHandle<GdiObjectTraits>;
using CMemoryDcHandle = CHandle<MemoryDcTraits>;
using CMenuHandle = CHandle<MenuTraits>;
using CImageListHandle = CHandle<ImageListTraits>;
using CModuleHandle = CHandle<ModuleTraits>;
using CIconHandle = CHandle<IconTraits>;
using CAccelHandle = CHandle<AcceleratorTraits>;
using CFileHandle = CHandle<FileTraits>;
