// Move-only owners of Win32 handles, one traits class per kind of handle.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <cstdint>
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
struct FindTraits {
    using Type = HANDLE;
    static Type Null() { return INVALID_HANDLE_VALUE; }
    static void Close(Type h) { ::FindClose(h); }
};
struct RegionTraits {
    using Type = HRGN;
    static Type Null() { return nullptr; }
    static void Close(Type h) { ::DeleteObject(h); }
};
struct BitmapTraits {
    using Type = HBITMAP;
    static Type Null() { return nullptr; }
    static void Close(Type h) { ::DeleteObject(h); }
};
// A key this process opened or created. The predefined roots (HKEY_CURRENT_USER and the
// others) are never owned: closing one would close the process's shared handle.
struct RegKeyTraits {
    using Type = HKEY;
    static Type Null() { return nullptr; }
    static bool IsPredefined(Type h) {
        // The roots are the reserved values 0x80000000 to 0x80000006 (sign-extended on x64).
        auto v = static_cast<uint32_t>(reinterpret_cast<uintptr_t>(h));
        return v >= 0x80000000u && v <= 0x80000006u;
    }
    static void Close(Type h) {
        if (!IsPredefined(h)) {
            ::RegCloseKey(h);
        }
    }
};
struct ActCtxTraits {
    using Type = HANDLE;
    static Type Null() { return INVALID_HANDLE_VALUE; }
    static void Close(Type h) {
        if (h) {
            ::ReleaseActCtx(h);
        }
    }
};

using CGdiHandle = CHandle<GdiObjectTraits>;
using CMemoryDcHandle = CHandle<MemoryDcTraits>;
using CMenuHandle = CHandle<MenuTraits>;
using CImageListHandle = CHandle<ImageListTraits>;
using CModuleHandle = CHandle<ModuleTraits>;
using CIconHandle = CHandle<IconTraits>;
using CAccelHandle = CHandle<AcceleratorTraits>;
using CFileHandle = CHandle<FileTraits>;
using CFindHandle = CHandle<FindTraits>;
using CRgnHandle = CHandle<RegionTraits>;
using CBitmapHandle = CHandle<BitmapTraits>;
using CRegKeyHandle = CHandle<RegKeyTraits>;
using CActCtxHandle = CHandle<ActCtxTraits>;
