// The preset menu's commands in the real dialog: their messages, what they write and copy,
// the link check, and downloads from servers the tests start on 127.0.0.1 (a preset, a page
// that is not one, a 404, a file too large and a server too slow).
#include "../services/TestHttpServer.h"

#include <gtest/gtest.h>

#include <commctrl.h>
#include <dlgs.h>
#include <shlobj.h>

#include <algorithm>
#include <string>
#include <vector>

#include "DialogDriver.h"
#include "DialogTestSupport.h"
#include "presets/XmlProfile.h"
#include "resource.h"

using namespace vg::host;

namespace {

const PresetValues kAlpha = {2, 12, 0.7, 1.5, 2.0, 3, 0.25, 1.25, 2.5};
const PresetValues kBeta = {4, 16, 0.3, 0.5, 1.0, 1, 0.5, 2.0, 3.0};
const PresetValues kGamma = {6, 22, 1.2, 2.5, 3.5, 5, 0.75, 3.0, 5.0};

constexpr char kSaveCaption[] = "Save Current Settings As A Preset";
constexpr char kLinkCaption[] = "Import Preset from Internet";
constexpr char kImportCaption[] = "Select a Preset File to Import";

int EngineCalls() {
    return ReadEngine().last.calls;
}

std::vector<std::string> Items(HWND list) {
    std::vector<std::string> names;
    const int n = int(::SendMessageA(list, LVM_GETITEMCOUNT, 0, 0));
    for (int i = 0; i < n; ++i) {
        char text[256] = {};
        LVITEMA item = {};
        item.pszText = text;
        item.cchTextMax = sizeof text;
        ::SendMessageA(list, LVM_GETITEMTEXTA, WPARAM(i), reinterpret_cast<LPARAM>(&item));
        names.push_back(text);
    }
    return names;
}

void SelectItem(HWND list, int index) {
    LVITEMA item = {};
    item.stateMask = LVIS_SELECTED | LVIS_FOCUSED;
    item.state = LVIS_SELECTED | LVIS_FOCUSED;
    ::SendMessageA(list, LVM_SETITEMSTATE, WPARAM(index), reinterpret_cast<LPARAM>(&item));
}

// The files of a folder, by name.
std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA found;
    HANDLE find = ::FindFirstFileA((folder + "*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
        do {
            if (!(found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
                names.push_back(found.cFileName);
            }
        } while (::FindNextFileA(find, &found));
        ::FindClose(find);
    }
    std::sort(names.begin(), names.end());
    return names;
}

// The path with backslashes only, as a user would type it.
std::string WinPath(std::string path) {
    for (char& c : path) {
        if (c == '/') {
            c = '\\';
        }
    }
    return path;
}

std::string ScratchFolder(const char* name) {
    const std::string folder = WinPath(std::string("Z:") + VG_DIALOG_TEST_DIR + "\\" + name + "\\");
    ::CreateDirectoryA(folder.c_str(), nullptr);
    for (const std::string& file : FilesIn(folder)) {
        ::DeleteFileA((folder + file).c_str());
    }
    return folder;
}

// The text of a preset file holding one preset, as the dialog would write it.
std::string PresetText(const std::string& name, const PresetValues& values) {
    const std::string folder = ScratchFolder("scratch");
    writePreset(folder + "p.vpp", name, "From the web", "User", values);
    std::string text = ReadFileBytes(folder + "p.vpp");
    ::DeleteFileA((folder + "p.vpp").c_str());
    return text;
}

struct Fixture {
    CFilterHost host;
    Fixture() {
        ResetRegistry();
        std::string error;
        EXPECT_TRUE(host.Load(ModuleWithTestEngine(), &error)) << error;
    }
};

// Opens the save dialog from the menu, types the name and description and presses OK.
void SaveAs(CDialogDriver& d, const std::string& name, const std::string& description = "") {
    d.Do([&d] { d.Command(ID_VG_PRESET_SAVE); });
    d.OnPopup(kSaveCaption, [&d, name, description](HWND dialog) {
        d.Type(::GetDlgItem(dialog, IDC_VG_PRESET_DESCRIPTION), description);
        d.Type(::GetDlgItem(dialog, IDC_VG_PRESET_NAME), name);
        ::PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    });
}

// Opens the link dialog from the menu, types the link and presses OK.
void ImportLink(CDialogDriver& d, const std::string& link) {
    d.Do([&d] { d.Command(ID_VG_PRESET_IMPORT_URL); });
    d.OnPopup(kLinkCaption, [&d, link](HWND dialog) {
        d.Type(::GetDlgItem(dialog, IDC_VG_PRESET_LINK), link);
        ::PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    });
}

// Answers the open-file dialog with a full path.
void ChooseFile(CDialogDriver& d, const std::string& path) {
    d.OnPopup(kImportCaption, [path = WinPath(path)](HWND dialog) {
        // The file name box: a combo box with an edit in the Explorer style, else an edit.
        HWND name = ::GetDlgItem(dialog, cmb13);
        if (!name) {
            name = ::GetDlgItem(dialog, edt1);
        }
        ::SetWindowTextA(name, path.c_str());
        ::PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    });
}

// Answers the folder browser (found by the text it shows) with a folder.
void ChooseFolder(CDialogDriver& d, const std::string& title, const std::string& folder) {
    d.Until(
        [title, folder] {
            struct Search {
                std::string title;
                HWND found;
            } search{title, nullptr};
            ::EnumThreadWindows(
                ::GetCurrentThreadId(),
                [](HWND window, LPARAM lParam) -> BOOL {
                    auto* s = reinterpret_cast<Search*>(lParam);
                    if (!::IsWindowVisible(window)) {
                        return TRUE;
                    }
                    ::EnumChildWindows(
                        window,
                        [](HWND child, LPARAM p) -> BOOL {
                            auto* inner = reinterpret_cast<Search*>(p);
                            char text[256] = {};
                            ::GetWindowTextA(child, text, sizeof text);
                            if (inner->title == text) {
                                inner->found = ::GetAncestor(child, GA_ROOT);
                                return FALSE;
                            }
                            return TRUE;
                        },
                        lParam);
                    return s->found ? FALSE : TRUE;
                },
                reinterpret_cast<LPARAM>(&search));
            if (!search.found) {
                return false;
            }
            // The browser fills its tree as it goes: OK only once the folder is selected.
            std::string path = WinPath(folder);
            while (!path.empty() && path.back() == '\\') path.pop_back();
            ::SendMessageA(search.found, BFFM_SETSELECTIONA, TRUE,
                           reinterpret_cast<LPARAM>(path.c_str()));
            HWND tree = nullptr;
            ::EnumChildWindows(
                search.found,
                [](HWND child, LPARAM p) -> BOOL {
                    char cls[32] = {};
                    ::GetClassNameA(child, cls, sizeof cls);
                    if (std::string(cls) != WC_TREEVIEWA) {
                        return TRUE;
                    }
                    *reinterpret_cast<HWND*>(p) = child;
                    return FALSE;
                },
                reinterpret_cast<LPARAM>(&tree));
            char text[MAX_PATH] = {};
            TVITEMA item = {};
            item.mask = TVIF_TEXT;
            item.hItem = tree ? TreeView_GetSelection(tree) : nullptr;
            item.pszText = text;
            item.cchTextMax = sizeof text;
            if (!item.hItem || !::SendMessageA(tree, TVM_GETITEMA, 0,
                                               reinterpret_cast<LPARAM>(&item)) ||
                path.substr(path.find_last_of('\\') + 1) != text) {
                return false;
            }
            ::PostMessageA(search.found, WM_COMMAND, IDOK, 0);
            return true;
        },
        "the folder browser \"" + title + "\"");
}

}  // namespace

TEST(PresetSave, NamesAreFilteredPredefinedOnesRefusedAndFailuresReported) {
    const std::string folder = ResetPresetFolder();
    InstallPreset("a.vpp", "Alpha", kAlpha, true);
    InstallPreset("a.vpp", "Beta", kBeta);
    const std::string alphaFile = ReadFileBytes(folder + "a.vpp");
    Fixture f;
    CHostImage image = TestImage(900, 700, 8);
    RunOptions user;
    user.replay = true;
    user.replayDescriptor.SetFloat(FourCC("CRD_"), 10);
    user.replayDescriptor.SetFloat(FourCC("TBT_"), 2.6666);
    CDialogDriver d;
    int calls = 0;
    HANDLE held = INVALID_HANDLE_VALUE;
    UntilSettledPreview(d, 4);
    SaveAs(d, "my  preset!", "Soft\rand <warm> & \"bright\"");  // Enter starts a line
    d.Do([&] {
        // Written as my__preset into my__preset.vpp, with the pages' row values; listed.
        const std::string file = folder + "my__preset.vpp";
        const XmlPath path = {"VarenWorks", "VarenGlaze", "my__preset"};
        EXPECT_EQ(XmlGetInt(path, "Mod", -1, file), 1);
        EXPECT_EQ(XmlGetInt(path, "CRD", -1, file), 10000);
        EXPECT_EQ(XmlGetInt(path, "TBT", -1, file), 2667);
        EXPECT_EQ(XmlGetString(path, "AUTHOR", "", file), "User");
        EXPECT_EQ(XmlGetString(path, "DESCRIPTION", "", file), "Soft\r\nand <warm> & \"bright\"");
        EXPECT_EQ(Items(d.Item(IDC_VG_PRESET_LIST)),
                  (std::vector<std::string>{"Alpha", "Beta", "my__preset"}));
        d.Command(ID_VG_PRESET_SAVE);
    });
    // Nothing usable in the name: the dialog says so and stays open.
    d.OnPopup(kSaveCaption, [&](HWND dialog) {
        SaveWindowPng(dialog, OutputFolder() + "save-preset.png");
        d.Type(::GetDlgItem(dialog, IDC_VG_PRESET_NAME), "!!!");
        ::PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    });
    d.ExpectMessage("You need to enter a preset name to be saved", IDOK);
    d.OnPopup(kSaveCaption, [&](HWND dialog) {
        // At most 32 characters reach the name box.
        const std::string typed(40, 'x');
        d.Type(::GetDlgItem(dialog, IDC_VG_PRESET_NAME), typed);
    });
    d.OnPopup(kSaveCaption, [&](HWND dialog) {
        EXPECT_EQ(d.Text(::GetDlgItem(dialog, IDC_VG_PRESET_NAME)), std::string(32, 'x'));
        ::PostMessageA(dialog, WM_COMMAND, IDCANCEL, 0);
    });
    d.Do([&] { EXPECT_FALSE(FileExists(folder + std::string(32, 'x') + ".vpp")); });
    // A predefined name: the overwrite question, then the refusal; the file is untouched.
    SaveAs(d, "Alpha");
    d.ExpectMessage("The present name exists. Do you want to overwrite it?", IDYES);
    d.ExpectMessage("The preset name you entered is a predefined preset.  Please use another name.",
                    IDOK);
    d.Do([&] {
        EXPECT_EQ(ReadFileBytes(folder + "a.vpp"), alphaFile);
        calls = EngineCalls();
    });
    // Over a listed user preset: new values, and neither the list nor thumbnails change.
    SaveAs(d, "Beta", "again");
    d.ExpectMessage("The present name exists. Do you want to overwrite it?", IDYES);
    d.Do([&] {
        const XmlPath path = {"VarenWorks", "VarenGlaze", "Beta"};
        EXPECT_EQ(XmlGetInt(path, "CRD", -1, folder + "a.vpp"), 10000);
        EXPECT_EQ(XmlGetString(path, "DESCRIPTION", "", folder + "a.vpp"), "again");
        EXPECT_EQ(EngineCalls(), calls);
        // A file another program holds: the save fails and says so, nothing is refreshed.
        held = ::CreateFileA((folder + "my__preset.vpp").c_str(), GENERIC_READ, FILE_SHARE_READ,
                             nullptr, OPEN_EXISTING, 0, nullptr);
        EXPECT_NE(held, INVALID_HANDLE_VALUE);
    });
    SaveAs(d, "my  preset");
    d.ExpectMessage("The present name exists. Do you want to overwrite it?", IDYES);
    d.ExpectMessage("Save preset failed", IDOK);
    d.Do([&] {
        ::CloseHandle(held);
        EXPECT_EQ(XmlGetInt({"VarenWorks", "VarenGlaze", "my__preset"}, "CRD", -1,
                            folder + "my__preset.vpp"),
                  10000);
        EXPECT_EQ(EngineCalls(), calls);
    });
    // A name that is a device: no file can carry it.
    SaveAs(d, "CON");
    d.ExpectMessage("Save preset failed", IDOK);
    d.Do([&] {
        EXPECT_EQ(FilesIn(folder), (std::vector<std::string>{"a.vpp", "my__preset.vpp"}));
        d.Click(IDCANCEL);
    });
    d.Run(f.host, image, user);
    for (const std::string& failure : d.Failures()) ADD_FAILURE() << failure;
}

TEST(PresetDelete, HidesThePresetKeepsItsFileAndExportCopiesTheWholeFile) {
    const std::string folder = ResetPresetFolder();
    InstallPreset("a.vpp", "Alpha", kAlpha, true);
    InstallPreset("u.vpp", "First", kBeta);
    InstallPreset("u.vpp", "Second", kGamma);
    const std::string exports = ScratchFolder("exports");
    Fixture f;
    CHostImage image = TestImage(900, 700, 8);
    CDialogDriver d;
    UntilSettledPreview(d, 5);
    d.Do([&] { d.Command(ID_VG_PRESET_DELETE); });
    d.ExpectMessage("Click on a preset to be deleted first", IDOK);
    d.Do([&] {
        SelectItem(d.Item(IDC_VG_PRESET_LIST), 0);
        d.Command(ID_VG_PRESET_DELETE);
    });
    d.ExpectMessage("You cannot delete a pre-defined preset", IDOK);
    d.Do([&] {
        SelectItem(d.Item(IDC_VG_PRESET_LIST), 1);
        d.Command(ID_VG_PRESET_DELETE);
    });
    d.ExpectMessage("Sure to delete the preset: First ?", IDNO);
    d.Do([&] {
        EXPECT_EQ(Items(d.Item(IDC_VG_PRESET_LIST)).size(), 3u);
        d.Command(ID_VG_PRESET_DELETE);
    });
    d.ExpectMessage("Sure to delete the preset: First ?", IDYES);
    d.Do([&] {
        // Not listed any more, yet its element is still in the file, hidden.
        EXPECT_EQ(Items(d.Item(IDC_VG_PRESET_LIST)), (std::vector<std::string>{"Alpha", "Second"}));
        EXPECT_EQ(XmlGetInt({"VarenWorks", "VarenGlaze", "First"}, "Disp", -1, folder + "u.vpp"),
                  0);
        d.Command(ID_VG_PRESET_EXPORT);
    });
    d.ExpectMessage("Please select a preset first", IDOK);
    d.Do([&] {
        SelectItem(d.Item(IDC_VG_PRESET_LIST), 1);
        d.Command(ID_VG_PRESET_EXPORT);
    });
    ChooseFolder(d, "Select Folder to Export: u.vpp", exports);
    d.Do([&] {
        // The whole file, the hidden preset with it.
        EXPECT_EQ(ReadFileBytes(exports + "u.vpp"), ReadFileBytes(folder + "u.vpp"));
        WriteFileBytes(exports + "u.vpp", "older");
        d.Command(ID_VG_PRESET_EXPORT);
    });
    ChooseFolder(d, "Select Folder to Export: u.vpp", exports);
    d.ExpectMessage("File exists!\n\nDo you want to overwrite?", IDNO);
    d.Do([&] {
        EXPECT_EQ(ReadFileBytes(exports + "u.vpp"), "older");
        d.Command(ID_VG_PRESET_EXPORT);
    });
    ChooseFolder(d, "Select Folder to Export: u.vpp", exports);
    d.ExpectMessage("File exists!\n\nDo you want to overwrite?", IDYES);
    d.Do([&] {
        EXPECT_EQ(ReadFileBytes(exports + "u.vpp"), ReadFileBytes(folder + "u.vpp"));
        d.Click(IDCANCEL);
    });
    d.Run(f.host, image, RunOptions{});
    for (const std::string& failure : d.Failures()) ADD_FAILURE() << failure;
}

TEST(PresetImport, CopiesPresetFilesAndRefusesOthers) {
    const std::string folder = ResetPresetFolder();
    InstallPreset("a.vpp", "Alpha", kAlpha, true);
    const std::string outside = ScratchFolder("imports");
    WriteFileBytes(outside + "Shared.vpp", PresetText("Shared", kGamma));
    WriteFileBytes(outside + "page.vpp", "<html><body>Not a preset</body></html>");
    const std::string alphaFile = ReadFileBytes(folder + "a.vpp");
    Fixture f;
    CHostImage image = TestImage(900, 700, 8);
    CDialogDriver d;
    int calls = 0;
    UntilSettledPreview(d, 3);
    d.Do([&] { d.Command(ID_VG_PRESET_IMPORT); });
    ChooseFile(d, outside + "Shared.vpp");
    d.Do([&] {
        EXPECT_EQ(ReadFileBytes(folder + "Shared.vpp"), ReadFileBytes(outside + "Shared.vpp"));
        EXPECT_EQ(Items(d.Item(IDC_VG_PRESET_LIST)),
                  (std::vector<std::string>{"Shared", "Alpha"}));  // S before a: bytes order
        calls = EngineCalls();
        d.Command(ID_VG_PRESET_IMPORT);
    });
    // The same file again: the question; No leaves everything as it was.
    ChooseFile(d, outside + "Shared.vpp");
    d.ExpectMessage("Preset exists!\n\nDo you want to overwrite?", IDNO);
    d.Do([&] {
        EXPECT_EQ(EngineCalls(), calls);
        d.Command(ID_VG_PRESET_IMPORT);
    });
    // The file that lies in the preset folder itself: Yes keeps it whole and refreshes.
    ChooseFile(d, folder + "a.vpp");
    d.ExpectMessage("Preset exists!\n\nDo you want to overwrite?", IDYES);
    d.Do([&] {
        EXPECT_EQ(ReadFileBytes(folder + "a.vpp"), alphaFile);
        EXPECT_EQ(EngineCalls(), calls + 3);  // two thumbnails and the preview
        d.Command(ID_VG_PRESET_IMPORT);
    });
    // Not a preset file: refused, nothing copied.
    ChooseFile(d, outside + "page.vpp");
    d.ExpectMessage("Import preset failed", IDOK);
    d.Do([&] {
        EXPECT_EQ(FilesIn(folder), (std::vector<std::string>{"Shared.vpp", "a.vpp"}));
        d.Click(IDCANCEL);
    });
    d.Run(f.host, image, RunOptions{});
    for (const std::string& failure : d.Failures()) ADD_FAILURE() << failure;
}

TEST(PresetLinks, DownloadsOnlyPresetFilesWithPlainNamesIntoTheFolder) {
    const std::string folder = ResetPresetFolder();
    const std::string install = std::string("Z:") + VG_DIALOG_TEST_DIR + "\\install\\";
    const std::string preset = PresetText("Shared", kGamma);
    const std::string changed = PresetText("Shared", kBeta);
    CTestHttpServer good(CTestHttpServer::Mode::Answer, preset);
    CTestHttpServer newer(CTestHttpServer::Mode::Answer, changed);
    CTestHttpServer page(CTestHttpServer::Mode::Answer, "<html><body>Hello</body></html>");
    CTestHttpServer missing(CTestHttpServer::Mode::Answer, "Not here", 404);
    CTestHttpServer huge(CTestHttpServer::Mode::Answer, std::string(5 << 20, ' '));
    CTestHttpServer slow(CTestHttpServer::Mode::Trickle, preset);
    const std::string base = "127.0.0.1:" + std::to_string(good.Port());
    Fixture f;
    CHostImage image = TestImage(900, 700, 8);
    CDialogDriver d;
    UntilSettledPreview(d, 2);
    // Refused by the check: the dialog says so and stays open for another try.
    d.Do([&] { d.Command(ID_VG_PRESET_IMPORT_URL); });
    for (const char* refused : {"ftp://127.0.0.1/x.vpp", "httpx://127.0.0.1/x.vpp",
                                "http://127.0.0.1/x.vpp.txt", "http:"}) {
        d.OnPopup(kLinkCaption, [&d, refused](HWND dialog) {
            if (std::string(refused).rfind("ftp", 0) == 0) {
                SaveWindowPng(dialog, OutputFolder() + "import-link.png");
            }
            d.Type(::GetDlgItem(dialog, IDC_VG_PRESET_LINK), refused);
            ::PostMessageA(dialog, WM_COMMAND, IDOK, 0);
        });
        d.ExpectMessage("The preset link you enter does not seems right.\n  Please enter it again.",
                        IDOK);
    }
    // Capitals and spaces anywhere: accepted, without the spaces.
    d.OnPopup(kLinkCaption, [&](HWND dialog) {
        d.Type(::GetDlgItem(dialog, IDC_VG_PRESET_LINK),
               "  HTTP://" + base + "/ pre sets/Shared .VPP ");
        ::PostMessageA(dialog, WM_COMMAND, IDOK, 0);
    });
    d.Do([&] {
        EXPECT_EQ(good.Requests(), 1);
        EXPECT_EQ(ReadFileBytes(folder + "Shared.VPP"), preset);
        // Not listed until the next rescan.
        EXPECT_TRUE(Items(d.Item(IDC_VG_PRESET_LIST)).empty());
    });
    // Again, from a server with other values: the question, then the new file.
    ImportLink(d, "http://127.0.0.1:" + std::to_string(newer.Port()) + "/Shared.VPP");
    d.ExpectMessage("Preset exists!\n\nDo you want to overwrite?", IDYES);
    d.Do([&] { EXPECT_EQ(ReadFileBytes(folder + "Shared.VPP"), changed); });
    // Names that would leave the folder or name a device: nothing is even fetched.
    for (const char* name :
         {"..%5c..%5cevil.vpp", "%2e%2e%2fevil.vpp", "..\\evil.vpp", "C:%5cevil.vpp",
          "evil.vpp%3a.vpp", "NUL.vpp", "com1.vpp", "%2e%2e.vpp", "a%00b.vpp"}) {
        ImportLink(d, "http://" + base + "/" + name);
        d.ExpectMessage("Download preset failed", IDOK);
    }
    d.Do([&] {
        EXPECT_EQ(good.Requests(), 1);
        EXPECT_EQ(FilesIn(folder), (std::vector<std::string>{"Shared.VPP"}));
        EXPECT_EQ(FilesIn(install), std::vector<std::string>{});
    });
    // A page that is not a preset file, a 404, a file too large, and an https link (accepted)
    // to a port nobody listens on: each fails, nothing is copied.
    for (const std::string& link :
         {"http://127.0.0.1:" + std::to_string(page.Port()) + "/page.vpp",
          "http://127.0.0.1:" + std::to_string(missing.Port()) + "/gone.vpp",
          "http://127.0.0.1:" + std::to_string(huge.Port()) + "/huge.vpp",
          "https://127.0.0.1:" + std::to_string(CTestHttpServer::RefusedPort()) + "/s.vpp"}) {
        ImportLink(d, link);
        d.ExpectMessage("Download preset failed", IDOK);
    }
    // A server that sends a byte every 200 ms: the download gives up at its deadline.
    DWORD started = 0;
    d.Do([&] {
        EXPECT_EQ(page.Requests(), 1);
        EXPECT_EQ(missing.Requests(), 1);
        EXPECT_EQ(huge.Requests(), 1);
        started = ::GetTickCount();
    });
    ImportLink(d, "http://127.0.0.1:" + std::to_string(slow.Port()) + "/slow.vpp");
    d.ExpectMessage("Download preset failed", IDOK);
    d.Do([&] {
        const DWORD took = ::GetTickCount() - started;
        EXPECT_GE(took, 14000u);
        EXPECT_LT(took, 20000u);
        EXPECT_EQ(FilesIn(folder), (std::vector<std::string>{"Shared.VPP"}));
        d.Click(IDCANCEL);
    });
    d.Run(f.host, image, RunOptions{});
    for (const std::string& failure : d.Failures()) ADD_FAILURE() << failure;
}
