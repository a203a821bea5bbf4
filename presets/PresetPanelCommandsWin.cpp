// The preset menu's commands: save, delete (hide), import from a file or a link, export.
#include <windows.h>
#include <commdlg.h>
#include <ole2.h>
#include <shlobj.h>

#include <string>
#include <vector>

#include "HttpDownloadWin.h"
#include "WaitCursor.h"
#include "WinApp.h"
#include "presets/DiagImportURLWin.h"
#include "presets/PresetLink.h"
#include "presets/PresetPanelWin.h"
#include "presets/SavePresetDlgWin.h"
#include "presets/XmlDocument.h"

namespace {

constexpr char kAuthor[] = "User";
constexpr char kMsgNameExists[] = "The present name exists. Do you want to overwrite it?";
constexpr char kMsgPredefined[] =
    "The preset name you entered is a predefined preset.  Please use another name.";
constexpr char kMsgSaveFailed[] = "Save preset failed";
constexpr char kMsgSelectToDelete[] = "Click on a preset to be deleted first";
constexpr char kMsgCannotDelete[] = "You cannot delete a pre-defined preset";
constexpr char kMsgPresetExists[] = "Preset exists!\n\nDo you want to overwrite?";
constexpr char kMsgImportFailed[] = "Import preset failed";
constexpr char kMsgDownloadFailed[] = "Download preset failed";
constexpr char kMsgSelectFirst[] = "Please select a preset first";
constexpr char kMsgFileExists[] = "File exists!\n\nDo you want to overwrite?";

// A preset file is a few kilobytes; the reader takes no more than this anyway.
constexpr DownloadLimits kDownloadLimits = {CXmlDocument::kMaxFileSize, 8000, 15000};

// The file and folder choosers' libraries are loaded only while a chooser runs: imported by
// the module, they are loaded and freed with every load of the plug-in, and each such load
// left a handle behind.
template <typename Proc>
Proc SystemProc(HMODULE library, const char* name) {
    return library ? reinterpret_cast<Proc>(reinterpret_cast<void*>(::GetProcAddress(library, name)))
                   : nullptr;
}

bool Ask(const char* question) {
    return AfxMessageBox(question, MB_YESNO) == IDYES;
}

// Whether two paths name the same file (so that copying one onto the other would only
// destroy it).
bool IsSameFile(const std::string& a, const std::string& b) {
    auto identify = [](const std::string& path, BY_HANDLE_FILE_INFORMATION& info) {
        CFileHandle file(::CreateFileA(path.c_str(), 0,
                                       FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                                       nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
        return file && ::GetFileInformationByHandle(file.Get(), &info);
    };
    BY_HANDLE_FILE_INFORMATION first = {}, second = {};
    return identify(a, first) && identify(b, second) &&
           first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
           first.nFileIndexHigh == second.nFileIndexHigh &&
           first.nFileIndexLow == second.nFileIndexLow;
}

// Copies without replacing; when that fails (the target exists, or anything else), asks the
// question and on Yes copies again, replacing. False when the user said No.
bool CopyAsking(const std::string& source, const std::string& target, const char* question) {
    if (::CopyFileA(source.c_str(), target.c_str(), TRUE)) {
        return true;
    }
    if (!Ask(question)) {
        return false;
    }
    if (!IsSameFile(source, target)) {
        ::CopyFileA(source.c_str(), target.c_str(), FALSE);
    }
    return true;
}

// The open-file dialog for one existing file: its full path and bare name.
bool AskFileToOpen(const char* title, const char* filter, std::string& path, std::string& name) {
    std::vector<char> file(MAX_PATH, '\0');
    std::vector<char> fileTitle(MAX_PATH, '\0');
    OPENFILENAMEA ofn = {};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = ::GetActiveWindow();
    ofn.lpstrFilter = filter;
    ofn.lpstrFile = file.data();
    ofn.nMaxFile = static_cast<DWORD>(file.size());
    ofn.lpstrFileTitle = fileTitle.data();
    ofn.nMaxFileTitle = static_cast<DWORD>(fileTitle.size());
    ofn.lpstrTitle = title;
    ofn.Flags = OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY;
    HMODULE dialogs = ::LoadLibraryA("comdlg32.dll");
    auto open = SystemProc<BOOL(WINAPI*)(OPENFILENAMEA*)>(dialogs, "GetOpenFileNameA");
    const bool chosen = open && open(&ofn);
    if (dialogs) {
        ::FreeLibrary(dialogs);
    }
    if (!chosen) {
        return false;
    }
    path = file.data();
    name = fileTitle.data();
    return !path.empty() && !name.empty();
}

// The shell's folder browser, new style with an edit box, rooted at the desktop.
bool AskFolder(const std::string& title, std::string& folder) {
    HMODULE ole = ::LoadLibraryA("ole32.dll");
    auto initialize = SystemProc<HRESULT(WINAPI*)(LPVOID)>(ole, "OleInitialize");
    auto uninitialize = SystemProc<void(WINAPI*)()>(ole, "OleUninitialize");
    auto freeMemory = SystemProc<void(WINAPI*)(LPVOID)>(ole, "CoTaskMemFree");
    if (!initialize || !uninitialize || !freeMemory) {
        if (ole) {
            ::FreeLibrary(ole);
        }
        return false;
    }
    initialize(nullptr);
    BROWSEINFOA info = {};
    info.hwndOwner = ::GetActiveWindow();
    info.lpszTitle = title.c_str();
    info.ulFlags = BIF_NEWDIALOGSTYLE | BIF_EDITBOX | BIF_RETURNONLYFSDIRS;
    bool chosen = false;
    if (PIDLIST_ABSOLUTE item = ::SHBrowseForFolderA(&info)) {
        char path[MAX_PATH] = {};
        chosen = ::SHGetPathFromIDListA(item, path) && path[0] != '\0';
        if (chosen) {
            folder = path;
        }
        freeMemory(item);
    }
    uninitialize();
    ::FreeLibrary(ole);
    return chosen;
}

// A fresh empty file in the user's temporary folder, where downloads wait to be checked.
std::string NewDownloadFile() {
    char folder[MAX_PATH] = {};
    char file[MAX_PATH] = {};
    const DWORD n = ::GetTempPathA(MAX_PATH, folder);
    if (n == 0 || n >= MAX_PATH || !::GetTempFileNameA(folder, "vgd", 0, file)) {
        return std::string();
    }
    return file;
}

}  // namespace

void CPresetPanel::RefreshAfterChange() {
    std::string selectedFile, selectedName;
    if (m_store.IsValidIndex(m_selectedPreset)) {
        selectedFile = m_store.GetFileName(m_selectedPreset);
        selectedName = m_store.GetDisplayName(m_selectedPreset);
    }
    m_store.rescan();
    // List indexes change with the folder's content: keep the mark on the same preset.
    m_selectedPreset = -1;
    for (int i = 0; !selectedName.empty() && i < m_store.GetCount(); ++i) {
        if (m_store.GetDisplayName(i) == selectedName && m_store.GetFileName(i) == selectedFile) {
            m_selectedPreset = i;
            break;
        }
    }
    loadThumbNails();
    m_host.PushAll();
}

void CPresetPanel::Save() {
    CSavePresetDlg dialog;
    if (dialog.DoModal() != IDOK) {
        return;
    }
    const std::string& name = dialog.m_name;
    const PresetValues rows = m_host.GetPresetRows();
    const int listed = m_store.FindDisplayName(name);
    if (listed >= 0 && !Ask(kMsgNameExists)) {
        return;
    }
    // A new name gets a file of its own; a name that cannot be one is not saved.
    const std::string file =
        listed >= 0 ? m_store.GetFilePath(listed) : m_store.NewPresetFilePath(name);
    const PresetWriteResult result =
        file.empty() ? PresetWriteResult::Failed
                     : writePreset(file, name, dialog.m_description, kAuthor, rows);
    if (result == PresetWriteResult::Refused) {
        AfxMessageBox(kMsgPredefined, MB_OK);
    } else if (result != PresetWriteResult::Written) {
        AfxMessageBox(kMsgSaveFailed, MB_OK);
    } else if (listed < 0) {
        // Overwriting keeps the list and its thumbnails as they are until the next refresh.
        RefreshAfterChange();
    }
}

void CPresetPanel::Delete() {
    if (!m_store.IsValidIndex(m_selectedPreset)) {
        AfxMessageBox(kMsgSelectToDelete, MB_OK);
        return;
    }
    if (!m_store.isPresetModifiable(m_selectedPreset)) {
        AfxMessageBox(kMsgCannotDelete, MB_OK);
        return;
    }
    const std::string question =
        "Sure to delete the preset: " + m_store.GetDisplayName(m_selectedPreset) + " ?";
    if (!Ask(question.c_str())) {
        return;
    }
    m_store.hidePreset(m_selectedPreset);
    RefreshAfterChange();
    m_selectedPreset = -1;
}

void CPresetPanel::Import() {
    std::string path, name;
    if (!AskFileToOpen("Select a Preset File to Import", "Preset File (*.vpp)\0*.vpp\0\0", path,
                       name)) {
        return;
    }
    // A file from anywhere is hostile until it reads as a preset file.
    if (m_store.GetFolder().empty() || !IsPresetFile(path)) {
        AfxMessageBox(kMsgImportFailed, MB_OK);
        return;
    }
    if (CopyAsking(path, m_store.GetFolder() + name, kMsgPresetExists)) {
        RefreshAfterChange();
    }
}

void CPresetPanel::ImportFromInternet() {
    CDiagImportURL dialog;
    if (dialog.DoModal() != IDOK) {
        return;
    }
    // The name a link gives must be a plain preset file name in the folder; the file itself
    // must read as a preset file before it goes there.
    const std::string name = PresetFileNameFromLink(dialog.m_link);
    std::string local;
    bool ok = false;
    if (!name.empty() && !m_store.GetFolder().empty()) {
        CWaitCursor wait;
        local = NewDownloadFile();
        ok = !local.empty() &&
             DownloadToFile(dialog.m_link, local, kDownloadLimits) == DownloadResult::Done &&
             IsPresetFile(local);
    }
    if (ok) {
        // Listed after the next rescan, as the design has it.
        CopyAsking(local, m_store.GetFolder() + name, kMsgPresetExists);
    } else {
        AfxMessageBox(kMsgDownloadFailed, MB_OK);
    }
    if (!local.empty()) {
        ::DeleteFileA(local.c_str());
    }
}

void CPresetPanel::Export() {
    if (!m_store.IsValidIndex(m_selectedPreset)) {
        AfxMessageBox(kMsgSelectFirst, MB_OK);
        return;
    }
    // The whole file, with every preset it holds, hidden ones included.
    const std::string name = m_store.GetFileName(m_selectedPreset);
    std::string folder;
    if (!AskFolder("Select Folder to Export: " + name, folder)) {
        return;
    }
    CopyAsking(m_store.GetFolder() + name, folder + "\\" + name, kMsgFileExists);
}
