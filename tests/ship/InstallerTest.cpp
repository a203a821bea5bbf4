// The installer on a fresh Windows (a new Wine prefix): silent installs into chosen folders,
// the plug-in folders of image editors it finds, the files and keys it writes, the installed
// plug-in finding its installation, and the silent uninstall that keeps the user's presets
// and preferences.
#include <windows.h>

#include <commctrl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include "DialogDriver.h"
#include "DialogTestSupport.h"
#include "RegistrySettingsWin.h"
#include "host/FilterHost.h"
#include "host/ImageFile.h"
#include "presets/PresetFile.h"
#include "resource.h"

using namespace vg::host;

namespace {

const char kUninstallKey[] =
    "SOFTWARE\\Microsoft\\Windows\\CurrentVersion\\Uninstall\\Varen Glaze 2";
// The installation folder's key as a 32-bit program (the installer's registry view) names it.
const char kInstallKey32[] = "SOFTWARE\\Varen Works\\Varen Glaze 2\\InstallPath";

std::string Z(const char* unixPath) {
    std::string path = std::string("Z:") + unixPath;
    std::replace(path.begin(), path.end(), '/', '\\');
    return path;
}

// Runs a command line and waits for it; its exit code, or -1.
int RunCommand(const std::string& commandLine) {
    STARTUPINFOA si = {};
    si.cb = sizeof si;
    PROCESS_INFORMATION pi = {};
    std::string line = commandLine;
    if (!::CreateProcessA(nullptr, line.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si,
                          &pi)) {
        std::fprintf(stderr, "cannot start %s: error %lu\n", commandLine.c_str(),
                     static_cast<unsigned long>(::GetLastError()));
        return -1;
    }
    DWORD code = DWORD(-1);
    if (::WaitForSingleObject(pi.hProcess, 180000) == WAIT_OBJECT_0) {
        ::GetExitCodeProcess(pi.hProcess, &code);
    }
    ::CloseHandle(pi.hThread);
    ::CloseHandle(pi.hProcess);
    return int(code);
}

bool Exists(const std::string& path) {
    return ::GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

bool IsFolder(const std::string& path) {
    const DWORD a = ::GetFileAttributesA(path.c_str());
    return a != INVALID_FILE_ATTRIBUTES && (a & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

// The names of the files (not folders) in a folder, sorted.
std::vector<std::string> FilesIn(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA fd;
    HANDLE h = ::FindFirstFileA((folder + "\\*").c_str(), &fd);
    if (h == INVALID_HANDLE_VALUE) {
        return names;
    }
    do {
        if ((fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
            names.push_back(fd.cFileName);
        }
    } while (::FindNextFileA(h, &fd));
    ::FindClose(h);
    std::sort(names.begin(), names.end());
    return names;
}

void MakeFolders(const std::string& path) {
    for (size_t i = path.find('\\', 3);; i = path.find('\\', i + 1)) {
        ::CreateDirectoryA(path.substr(0, i).c_str(), nullptr);
        if (i == std::string::npos) {
            break;
        }
    }
}

void RemoveTree(const std::string& path) {
    WIN32_FIND_DATAA fd;
    HANDLE h = ::FindFirstFileA((path + "\\*").c_str(), &fd);
    if (h != INVALID_HANDLE_VALUE) {
        do {
            const std::string name = fd.cFileName;
            if (name == "." || name == "..") {
                continue;
            }
            if (fd.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
                RemoveTree(path + "\\" + name);
            } else {
                ::DeleteFileA((path + "\\" + name).c_str());
            }
        } while (::FindNextFileA(h, &fd));
        ::FindClose(h);
    }
    ::RemoveDirectoryA(path.c_str());
}

// A text value of HKEY_LOCAL_MACHINE in the given view (KEY_WOW64_32KEY or KEY_WOW64_64KEY);
// `found` tells whether the key exists.
std::string MachineText(const char* key, const char* name, REGSAM view, bool* found = nullptr) {
    HKEY h = nullptr;
    const bool open =
        ::RegOpenKeyExA(HKEY_LOCAL_MACHINE, key, 0, KEY_QUERY_VALUE | view, &h) == ERROR_SUCCESS;
    if (found) {
        *found = open;
    }
    if (!open) {
        return std::string();
    }
    char value[1024] = {};
    DWORD size = sizeof value - 1, type = 0;
    ::RegQueryValueExA(h, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
    ::RegCloseKey(h);
    return value;
}

bool MachineKeyExists(const char* key, REGSAM view) {
    bool found = false;
    MachineText(key, nullptr, view, &found);
    return found;
}

// The file version of a module as "a.b.c.d", or empty.
std::string FileVersion(const std::string& path) {
    DWORD ignored = 0;
    const DWORD size = ::GetFileVersionInfoSizeA(path.c_str(), &ignored);
    std::vector<char> data(size);
    VS_FIXEDFILEINFO* info = nullptr;
    UINT len = 0;
    if (size == 0 || !::GetFileVersionInfoA(path.c_str(), 0, size, data.data()) ||
        !::VerQueryValueA(data.data(), "\\", reinterpret_cast<void**>(&info), &len) || !info) {
        return std::string();
    }
    return std::to_string(HIWORD(info->dwFileVersionMS)) + "." +
           std::to_string(LOWORD(info->dwFileVersionMS)) + "." +
           std::to_string(HIWORD(info->dwFileVersionLS)) + "." +
           std::to_string(LOWORD(info->dwFileVersionLS));
}

int Install(const std::string& installFolder, const std::string& pluginFolder = "") {
    std::string line = "\"" + Z(SHIP_SETUP) + "\" /S";
    if (!pluginFolder.empty()) {
        line += " /PLUGINDIR=\"" + pluginFolder + "\"";
    }
    // The installer reads /D= last and unquoted, spaces and all.
    return RunCommand(line + " /D=" + installFolder);
}

// Runs the uninstaller the way the programs list does when asked for a quiet removal. It
// copies itself elsewhere and returns at once; the copy's last step removes the programs
// list's entry.
int Uninstall(const std::string& installFolder) {
    const std::string quiet = MachineText(kUninstallKey, "QuietUninstallString", KEY_WOW64_64KEY);
    EXPECT_EQ(quiet, "\"" + installFolder + "\\Uninstall.exe\" /S");
    const int code = RunCommand(quiet);
    for (int i = 0; i < 1200 && MachineKeyExists(kUninstallKey, KEY_WOW64_64KEY); ++i) {
        ::Sleep(100);
    }
    return code;
}

// Makes the shell open PDF files by writing the file's path into `record`, as a viewer would
// be started with it.
void RegisterPdfViewer(const std::string& record) {
    const std::string command = "C:\\windows\\system32\\cmd.exe /c echo %1>" + record;
    struct Value {
        const char* key;
        std::string text;
    };
    const Value values[] = {{"SOFTWARE\\Classes\\.pdf", "VGTest.PdfViewer"},
                            {"SOFTWARE\\Classes\\VGTest.PdfViewer\\shell\\open\\command", command}};
    for (const Value& v : values) {
        HKEY key = nullptr;
        ASSERT_EQ(::RegCreateKeyExA(HKEY_LOCAL_MACHINE, v.key, 0, nullptr, 0,
                                    KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, &key, nullptr),
                  ERROR_SUCCESS);
        ::RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(v.text.c_str()),
                         DWORD(v.text.size() + 1));
        ::RegCloseKey(key);
    }
}

// The first line of a file once it has one (waiting up to thirty seconds: on a loaded machine
// starting the viewer's shell takes a while), without its line end.
std::string FirstLineWhenWritten(const std::string& path) {
    std::string text;
    for (int i = 0; i < 300; ++i) {
        text = Exists(path) ? ReadAll(path) : std::string();
        if (text.find_first_of("\r\n") != std::string::npos) break;
        ::Sleep(100);
    }
    text = text.substr(0, text.find_first_of("\r\n"));
    while (!text.empty() && text.back() == ' ') {
        text.pop_back();
    }
    return text;
}

}  // namespace

// One install, a look at everything it placed, the plug-in using it, a second install into
// another plug-in folder, the user's own presets, and the uninstall.
TEST(Installer, SilentInstallUseAndUninstallKeepTheUsersPresetsAndPreferences) {
    const std::string install = "C:\\Test Apps\\Varen Glaze 2";
    const std::string plugins = "C:\\Test Plug-ins\\Varen";
    ASSERT_EQ(Install(install, plugins), 0);

    // The plug-in and its engine in the chosen plug-in folder, as built.
    const std::string bin = Z(SHIP_BIN_DIR);
    for (const char* name : {"VarenGlaze2.8bf", "vwiglaze21_x64.dll"}) {
        EXPECT_EQ(ReadAll(plugins + "\\" + name), ReadAll(bin + "\\" + name)) << name;
    }
    EXPECT_EQ(FilesIn(plugins).size(), 2u);
    // The installation folder: every predefined preset, etc, the guide, glazehost.
    const std::vector<std::string> predefined = FilesIn(Z(SHIP_PRESET_DIR));
    ASSERT_GE(predefined.size(), 10u);
    EXPECT_EQ(FilesIn(install + "\\Presets"), predefined);
    for (const std::string& name : predefined) {
        EXPECT_EQ(ReadAll(install + "\\Presets\\" + name),
                  ReadAll(Z(SHIP_PRESET_DIR) + "\\" + name))
            << name;
    }
    EXPECT_TRUE(IsFolder(install + "\\etc"));
    EXPECT_EQ(ReadAll(install + "\\Docs\\UsersGuide.pdf").substr(0, 5), "%PDF-");
    EXPECT_EQ(ReadAll(install + "\\glazehost.exe"), ReadAll(bin + "\\glazehost.exe"));
    EXPECT_TRUE(Exists(install + "\\Uninstall.exe"));

    // One version everywhere: the installer, the plug-in and the programs list.
    const std::string version = std::string(SHIP_VERSION) + ".0";
    EXPECT_EQ(FileVersion(Z(SHIP_SETUP)), version);
    EXPECT_EQ(FileVersion(plugins + "\\VarenGlaze2.8bf"), version);
    EXPECT_EQ(MachineText(kUninstallKey, "DisplayName", KEY_WOW64_64KEY), "Varen Glaze 2");
    EXPECT_EQ(MachineText(kUninstallKey, "DisplayVersion", KEY_WOW64_64KEY), SHIP_VERSION);
    EXPECT_EQ(MachineText(kUninstallKey, "Publisher", KEY_WOW64_64KEY), "Varen Works");
    EXPECT_EQ(MachineText(kUninstallKey, "UninstallString", KEY_WOW64_64KEY),
              "\"" + install + "\\Uninstall.exe\"");

    // The installation folder in the 32-bit view only, where the 64-bit plug-in reads it
    // through SOFTWARE\Wow6432Node, with its own code and without a message.
    EXPECT_EQ(MachineText(kInstallKey32, "", KEY_WOW64_32KEY), install);
    EXPECT_FALSE(MachineKeyExists(kInstallKey32, KEY_WOW64_64KEY));
    std::vector<std::string> messages;
    EXPECT_EQ(ReadInstallFolder([&](const char* m) { messages.push_back(m); }), install);
    EXPECT_TRUE(messages.empty());

    // The installed glazehost applies a predefined preset found through that key.
    const std::string in = "C:\\Test Apps\\in.png", out = "C:\\Test Apps\\out.png";
    std::string error;
    CHostImage image = TestImage(96, 64, 8);
    ASSERT_TRUE(WriteImageFile(in, image, &error)) << error;
    EXPECT_EQ(RunCommand("cmd /c \"\"" + install + "\\glazehost.cmd\" --quiet --preset Cartoon \"" +
                         in + "\" \"" + out + "\"\""),
              0);
    CHostImage filtered;
    ASSERT_TRUE(ReadImageFile(out, &filtered, &error)) << error;
    EXPECT_FALSE(filtered == image);

    // The dialog of the installed plug-in opens without a registry message, lists the
    // predefined presets, and its "User's Guide..." opens the installed guide.
    const std::string opened = "C:\\opened-guide.txt";
    RegisterPdfViewer(opened);
    {
        CFilterHost host;
        ASSERT_TRUE(host.Load(plugins + "\\VarenGlaze2.8bf", &error)) << error;
        CDialogDriver d;
        int listed = -1;
        d.Do([&] {
            listed = int(::SendMessageA(d.Item(IDC_VG_PRESET_LIST), LVM_GETITEMCOUNT, 0, 0));
            d.Command(ID_VG_USERS_GUIDE);
        });
        d.Do([&] { d.Click(IDCANCEL); });
        RunOptions options;
        options.showDialog = true;
        CHostImage photo = TestImage(400, 300, 8);
        const RunResult r = d.Run(host, photo, options);
        EXPECT_EQ(r.result, -128) << DescribeResult(r);
        for (const std::string& failure : d.Failures()) ADD_FAILURE() << failure;
        EXPECT_GE(listed, int(predefined.size())) << "the predefined presets in the list";
    }
    EXPECT_EQ(FirstLineWhenWritten(opened), install + "\\Docs\\UsersGuide.pdf");
    ::DeleteFileA(opened.c_str());

    // Installing again into another plug-in folder leaves no second copy in the first.
    const std::string plugins2 = "C:\\Test Plug-ins\\Other";
    ASSERT_EQ(Install(install, plugins2), 0);
    EXPECT_TRUE(Exists(plugins2 + "\\VarenGlaze2.8bf"));
    EXPECT_FALSE(IsFolder(plugins)) << "the folder it had made is gone";

    // The user saves a preset and imports one over a predefined file; preferences exist.
    PresetValues values{2, 8, 0.5, 1, 1.5, 1, 0.3, 1, 2};
    EXPECT_EQ(writePreset(install + "\\Presets\\My_Look.vpp", "My_Look", "mine", "User", values),
              PresetWriteResult::Written);
    const std::string imported = "C:\\Test Apps\\Cartoon.vpp";
    EXPECT_EQ(writePreset(imported, "Cartoon_Mine", "from a friend", "User", values),
              PresetWriteResult::Written);
    ASSERT_TRUE(::CopyFileA(imported.c_str(), (install + "\\Presets\\Cartoon.vpp").c_str(), FALSE));
    StorePreference("vwpfast", "1");

    ASSERT_EQ(Uninstall(install), 0);
    EXPECT_FALSE(Exists(install + "\\Uninstall.exe"));
    EXPECT_FALSE(IsFolder(plugins2));
    EXPECT_FALSE(Exists(install + "\\Docs"));
    EXPECT_FALSE(Exists(install + "\\etc"));
    EXPECT_FALSE(Exists(install + "\\glazehost.exe"));
    EXPECT_FALSE(Exists(install + "\\glazehost.cmd"));
    EXPECT_EQ(FilesIn(install + "\\Presets"),
              (std::vector<std::string>{"Cartoon.vpp", "My_Look.vpp"}));
    EXPECT_EQ(ReadAll(install + "\\Presets\\Cartoon.vpp"), ReadAll(imported));
    // The keys are gone, the maker's key too; the user's preferences stay.
    EXPECT_FALSE(MachineKeyExists(kUninstallKey, KEY_WOW64_64KEY));
    EXPECT_FALSE(MachineKeyExists("SOFTWARE\\Varen Works", KEY_WOW64_32KEY));
    messages.clear();
    EXPECT_EQ(ReadInstallFolder([&](const char* m) { messages.push_back(m); }), "");
    EXPECT_EQ(messages, (std::vector<std::string>{kMsgCannotOpenRegistry, kMsgCannotReadRegistry}));
    StoredPreferences prefs;
    LoadStoredPreferences(prefs, {});
    EXPECT_TRUE(prefs.panFaster);
    RemoveTree("C:\\Test Apps");
}

// Where the plug-in goes when no folder is given: the plug-in folder of the first image editor
// found, else a folder of the installation. A host's folder stays when the plug-in goes.
TEST(Installer, OffersThePluginFolderOfTheImageEditorsItFinds) {
    struct Case {
        const char* what;
        const char* photoshopKeyPath;  // ApplicationPath of a Photoshop registry entry, or null
        const char* folderToMake;      // a host's plug-in folder made on disk, or null
        std::string expected;
        bool folderStays;
    };
    const std::string install = "C:\\VG Detect";
    const Case cases[] = {
        {"no image editor", nullptr, nullptr, install + "\\Plug-ins", false},
        {"Photoshop in the registry", "C:\\Editors\\Photoshop 2099\\",
         "C:\\Editors\\Photoshop 2099\\Plug-ins", "C:\\Editors\\Photoshop 2099\\Plug-ins", true},
        {"Photoshop's entry without its folder", "C:\\Editors\\Gone", nullptr,
         install + "\\Plug-ins", false},
        {"Photoshop's folder without an entry", nullptr,
         "C:\\Program Files\\Adobe\\Adobe Photoshop 2098\\Plug-ins",
         "C:\\Program Files\\Adobe\\Adobe Photoshop 2098\\Plug-ins", true},
        {"Adobe's shared plug-in folder", nullptr,
         "C:\\Program Files\\Common Files\\Adobe\\Plug-ins\\CC",
         "C:\\Program Files\\Common Files\\Adobe\\Plug-ins\\CC", true},
    };
    const char photoshopKey[] = "SOFTWARE\\Adobe\\Photoshop\\2099.0";
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.photoshopKeyPath) {
            HKEY key = nullptr;
            ASSERT_EQ(::RegCreateKeyExA(HKEY_LOCAL_MACHINE, photoshopKey, 0, nullptr, 0,
                                        KEY_SET_VALUE | KEY_WOW64_64KEY, nullptr, &key, nullptr),
                      ERROR_SUCCESS);
            ::RegSetValueExA(key, "ApplicationPath", 0, REG_SZ,
                             reinterpret_cast<const BYTE*>(c.photoshopKeyPath),
                             DWORD(strlen(c.photoshopKeyPath) + 1));
            ::RegCloseKey(key);
        }
        if (c.folderToMake) {
            MakeFolders(c.folderToMake);
        }
        ASSERT_EQ(Install(install), 0);
        EXPECT_TRUE(Exists(c.expected + "\\VarenGlaze2.8bf"));
        EXPECT_TRUE(Exists(c.expected + "\\vwiglaze21_x64.dll"));
        EXPECT_EQ(MachineText(kUninstallKey, "PluginFolder", KEY_WOW64_64KEY), c.expected);
        ASSERT_EQ(Uninstall(install), 0);
        EXPECT_FALSE(Exists(c.expected + "\\VarenGlaze2.8bf"));
        EXPECT_EQ(IsFolder(c.expected), c.folderStays);
        EXPECT_FALSE(IsFolder(install));
        ::RegDeleteKeyExA(HKEY_LOCAL_MACHINE, photoshopKey, KEY_WOW64_64KEY, 0);
        if (c.folderToMake) {
            RemoveTree(c.folderToMake);
        }
    }
}
