// The application object, module handles, message boxes and the common-controls context.
#include "WinApp.h"

#include <cstring>
#include <utility>

#include "Handle.h"
#include "ModalFrame.h"
#include "Wnd.h"

namespace {

CWinApp* g_app = nullptr;
HINSTANCE g_instance = nullptr;
HINSTANCE g_resources = nullptr;
AfxMessageBoxHook g_messageBoxHook;

// The module this code is linked into, found from an address inside it.
HINSTANCE ThisModule() {
    HMODULE module = nullptr;
    ::GetModuleHandleExA(
        GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
        reinterpret_cast<LPCSTR>(&ThisModule), &module);
    return module;
}

std::string ModuleBaseName(HINSTANCE module) {
    char path[MAX_PATH] = {};
    DWORD n = ::GetModuleFileNameA(module, path, MAX_PATH);
    if (n == 0 || n >= MAX_PATH) {
        return "Application";
    }
    std::string name(path, n);
    size_t slash = name.find_last_of("\\/");
    if (slash != std::string::npos) {
        name.erase(0, slash + 1);
    }
    size_t dot = name.find_last_of('.');
    if (dot != std::string::npos && dot > 0) {
        name.erase(dot);
    }
    return name;
}

// The activation context of manifest resource 2, created on first use and released by
// AfxTermModule. Without the resource the module relies on its host's (or its own exe's).
CActCtxHandle g_actCtx;
bool g_actCtxTried = false;

HANDLE ModuleActCtx() {
    if (!g_actCtxTried) {
        g_actCtxTried = true;
        ACTCTXA ctx = {};
        ctx.cbSize = sizeof(ctx);
        ctx.dwFlags = ACTCTX_FLAG_RESOURCE_NAME_VALID | ACTCTX_FLAG_HMODULE_VALID;
        ctx.hModule = AfxGetResourceHandle();
        ctx.lpResourceName = MAKEINTRESOURCEA(2);
        if (::FindResourceA(ctx.hModule, ctx.lpResourceName, MAKEINTRESOURCEA(24))) {
            g_actCtx.Reset(::CreateActCtxA(&ctx));
        }
    }
    return g_actCtx.Get();
}

}  // namespace

CWinApp::CWinApp(const char* appName) {
    if (appName) {
        m_appName = appName;
    } else {
        m_appName = ModuleBaseName(ThisModule());
    }
    m_pszAppName = m_appName.c_str();
    m_hInstance = g_instance ? g_instance : ThisModule();
    g_app = this;
}

CWinApp::~CWinApp() {
    if (g_app == this) {
        g_app = nullptr;
    }
}

BOOL CWinApp::InitInstance() { return TRUE; }

int CWinApp::ExitInstance() { return 0; }

void CWinApp::SetAppName(const char* name) {
    m_appName = name ? name : "";
    m_pszAppName = m_appName.c_str();
}

CWinApp* AfxGetApp() { return g_app; }

HINSTANCE AfxGetInstanceHandle() { return g_instance ? g_instance : ThisModule(); }

HINSTANCE AfxGetResourceHandle() { return g_resources ? g_resources : AfxGetInstanceHandle(); }

void AfxSetResourceHandle(HINSTANCE resources) { g_resources = resources; }

void AfxSetInstanceHandle(HINSTANCE instance) {
    g_instance = instance;
    if (g_app) {
        g_app->m_hInstance = AfxGetInstanceHandle();
    }
}

void AfxSetMessageBoxHook(AfxMessageBoxHook hook) { g_messageBoxHook = std::move(hook); }

int AfxMessageBox(const char* text, UINT type, UINT helpId) {
    const char* caption = g_app ? g_app->m_pszAppName : "";
    if (!text) {
        text = "";
    }
    // The framework's default icons: a warning for notices, a question mark for questions.
    if ((type & MB_ICONMASK) == 0) {
        switch (type & MB_TYPEMASK) {
            case MB_OK:
            case MB_OKCANCEL:
                type |= MB_ICONEXCLAMATION;
                break;
            case MB_YESNO:
            case MB_YESNOCANCEL:
                type |= MB_ICONQUESTION;
                break;
            default:
                break;
        }
    }
    if (g_messageBoxHook) {
        return g_messageBoxHook(text, caption, type);
    }
    // Owned by the active window so that it is modal to the dialog that raised it.
    HWND owner = ::GetActiveWindow();
    MSGBOXPARAMSA params = {};
    params.cbSize = sizeof(params);
    params.hwndOwner = owner;
    params.hInstance = AfxGetResourceHandle();
    params.lpszText = text;
    params.lpszCaption = caption;
    params.dwStyle = type;
    params.dwContextHelpId = helpId;
    CActivationScope scope;
    return ::MessageBoxIndirectA(&params);
}

std::string AfxLoadString(UINT id) {
    // A string table entry may be longer than any fixed buffer: grow until it fits.
    std::string text(256, '\0');
    for (;;) {
        int n = ::LoadStringA(AfxGetResourceHandle(), id, &text[0], static_cast<int>(text.size()));
        if (n <= 0) {
            return std::string();
        }
        if (static_cast<size_t>(n) < text.size() - 1 || text.size() >= 65536) {
            text.resize(static_cast<size_t>(n));
            return text;
        }
        text.assign(text.size() * 2, '\0');
    }
}

void AfxTermModule() {
    AfxTermWindowing();
    g_actCtx.Reset();
    g_actCtxTried = false;
    g_messageBoxHook = nullptr;
}

CActivationScope::CActivationScope() {
    HANDLE context = ModuleActCtx();
    if (context != INVALID_HANDLE_VALUE && context != nullptr) {
        m_active = ::ActivateActCtx(context, &m_cookie) != FALSE;
    }
}

CActivationScope::~CActivationScope() {
    if (m_active) {
        ::DeactivateActCtx(0, m_cookie);
    }
}
