// The update check against a server on 127.0.0.1: the message for every answer, the page
// opened only on Yes and only when it is a web address, and a bounded wait for servers that
// never answer, stall or trickle. No browser starts: the page opener is replaced.
#include <gtest/gtest.h>

#include "TestHttpServer.h"

#include <shellapi.h>

#include <cstring>
#include <string>
#include <vector>

#include "UpdateCheckWin.h"
#include "WinApp.h"

namespace {

constexpr char kFailed[] = "Check failed. Please try again later.";
constexpr char kUpToDate[] = "Your current version is up-to-date.";

// Records message boxes (answering them) and the pages the check tries to open.
struct Recorder {
    std::vector<std::string> boxes;
    std::vector<UINT> types;
    int answer = IDYES;
    std::vector<std::string> opened;
    std::vector<int> shows;
    std::vector<std::string> commands;
    INT_PTR shellResult = 42;

    Recorder() {
        AfxSetMessageBoxHook([this](const char* text, const char*, UINT type) {
            boxes.push_back(text);
            types.push_back(type);
            return answer;
        });
    }
    ~Recorder() { AfxSetMessageBoxHook(nullptr); }
    CUpdateCheck::Launcher Launcher() {
        CUpdateCheck::Launcher l;
        l.shellOpen = [this](const char* address, int show) {
            opened.push_back(address);
            shows.push_back(show);
            return shellResult;
        };
        l.run = [this](const char* line, int) {
            commands.push_back(line);
            return 33u;
        };
        return l;
    }
};

void SetClassesDefault(const std::string& key, const char* value) {
    HKEY h = nullptr;
    ::RegCreateKeyExA(HKEY_CLASSES_ROOT, key.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &h,
                      nullptr);
    ::RegSetValueExA(h, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(value),
                     static_cast<DWORD>(std::strlen(value) + 1));
    ::RegCloseKey(h);
}

std::string Newer(const char* version, const char* running = "2.1.0") {
    return std::string("A new version ") + version + " is available!\n  (You are using version " +
           running + ")\n\n  Do you want to update?";
}

}  // namespace

TEST(UpdateCheck, EachVersionFileGivesItsMessageAndPage) {
    const std::string longPage = "https://example.test/" + std::string(600, 'p');
    struct Case {
        std::string body;
        std::string message;
        std::vector<std::string> opened;
    };
    const std::vector<Case> cases = {
        {"2|1|0|https://example.test/get", kUpToDate, {}},
        {"2|1|1|https://example.test/get\r\n", Newer("2.1.1"), {"https://example.test/get"}},
        {"3", Newer("3.0.0"), {}},  // no page: nothing is opened
        {"abc", kFailed, {}},
        {"0|0|0|https://example.test/get", kFailed, {}},
        {"2|100|0|http://example.test/", Newer("2.100.0"), {"http://example.test/"}},
        // Read up to 511 bytes only: the page is cut after 505 of its bytes.
        {"2|1|1|" + longPage, Newer("2.1.1"), {longPage.substr(0, 505)}},
        // Addresses that must not reach the shell.
        {"2|2|0|file:///c:/windows/system32/calc.exe", Newer("2.2.0"), {}},
        {"2|2|0|https://x.test/\" & calc", Newer("2.2.0"), {}},
        {std::string("2|2|0|https://x.test/\0junk", 26), Newer("2.2.0"), {"https://x.test/"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.body.substr(0, 60));
        CTestHttpServer server(CTestHttpServer::Mode::Answer, c.body);
        Recorder r;
        CUpdateCheck check(r.Launcher(), 2000, 4000);
        check.CheckVersion(server.Url().c_str(), 2, 1, 0);
        ASSERT_EQ(r.boxes.size(), 1u);
        EXPECT_EQ(r.boxes[0], c.message);
        EXPECT_EQ(r.types[0] & MB_ICONMASK, static_cast<UINT>(MB_ICONINFORMATION));
        EXPECT_EQ(
            r.types[0] & MB_TYPEMASK,
            static_cast<UINT>(c.message == kUpToDate || c.message == kFailed ? MB_OK : MB_YESNO));
        EXPECT_EQ(r.opened, c.opened);
        if (!r.opened.empty()) {
            EXPECT_EQ(r.shows[0], SW_SHOW);
        }
        EXPECT_EQ(server.Requests(), 1);
    }

    // "No" opens nothing.
    CTestHttpServer server(CTestHttpServer::Mode::Answer, "2|1|1|https://example.test/get");
    Recorder r;
    r.answer = IDNO;
    CUpdateCheck(r.Launcher()).CheckVersion(server.Url().c_str(), 2, 1, 0);
    EXPECT_TRUE(r.opened.empty());
}

TEST(UpdateCheck, BrokenServersEndInTheFailureMessageWithinTheDeadline) {
    struct Case {
        const char* name;
        CTestHttpServer::Mode mode;
        std::string body;
        int status;
    };
    const Case cases[] = {
        {"silent", CTestHttpServer::Mode::Silent, "2|1|1|https://x.test/", 200},
        {"headers then silence", CTestHttpServer::Mode::HeadersThenSilent, "2|1|1|https://x.test/",
         200},
        {"trickle", CTestHttpServer::Mode::Trickle, "2|1|1|https://x.test/" + std::string(40, 'p'),
         200},
        {"cut short", CTestHttpServer::Mode::CutShort,
         "2|1|1|https://x.test/" + std::string(40, 'p'), 200},
        {"not found page", CTestHttpServer::Mode::Answer, "404 Not Found", 404},
        {"empty", CTestHttpServer::Mode::Answer, "", 200},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        CTestHttpServer server(c.mode, c.body, c.status);
        Recorder r;
        CUpdateCheck check(r.Launcher(), 1000, 2000);
        const ULONGLONG start = ::GetTickCount64();
        check.CheckVersion(server.Url().c_str(), 2, 1, 0);
        const ULONGLONG elapsed = ::GetTickCount64() - start;
        ASSERT_EQ(r.boxes.size(), 1u);
        EXPECT_EQ(r.boxes[0], kFailed);
        EXPECT_LT(elapsed, 6000u);
    }
    // Nothing listens, or the address is not a web address at all.
    const std::string refused =
        "http://127.0.0.1:" + std::to_string(CTestHttpServer::RefusedPort()) + "/x.txt";
    for (const std::string& address : {refused, std::string("ftp://127.0.0.1/x.txt"),
                                       std::string("not an address"), std::string()}) {
        Recorder r;
        CUpdateCheck(r.Launcher(), 1000, 2000).CheckVersion(address.c_str(), 2, 1, 0);
        ASSERT_EQ(r.boxes.size(), 1u) << address;
        EXPECT_EQ(r.boxes[0], kFailed);
    }
}

TEST(UpdateCheck, FileVersionFormComparesWithTheModulesVersion) {
    struct Case {
        const char* body;
        const char* message;
        std::vector<std::string> opened;
    };
    const Case cases[] = {
        {"2|1|https://example.test/", kUpToDate, {}},
        {"2|2|https://example.test/new",
         "A new version is available!\n  Do you want to update?",
         {"https://example.test/new"}},
        {"x|y|z", kFailed, {}},
    };
    for (const Case& c : cases) {
        CTestHttpServer server(CTestHttpServer::Mode::Answer, c.body);
        Recorder r;
        CUpdateCheck(r.Launcher()).CheckFileVersion(server.Url().c_str());
        ASSERT_EQ(r.boxes.size(), 1u) << c.body;
        EXPECT_EQ(r.boxes[0], c.message);
        EXPECT_EQ(r.opened, c.opened);
    }
    // The address from the string table: nothing listens on port 1.
    Recorder r;
    CUpdateCheck(r.Launcher(), 1000, 2000).CheckFileVersionFromResource(100);
    ASSERT_EQ(r.boxes.size(), 1u);
    EXPECT_EQ(r.boxes[0], kFailed);
}

TEST(UpdateCheck, BrowserFallbackUsesTheRegisteredCommandWithTheQuotedAddress) {
    const char* page = "https://example.test/get";
    Recorder r;
    CUpdateCheck check(r.Launcher());
    EXPECT_EQ(check.OpenInBrowser(page, SW_SHOW), 42);
    EXPECT_TRUE(r.commands.empty());

    EXPECT_EQ(check.OpenInBrowser("file:///c:/x.exe", SW_SHOW), 0);
    EXPECT_EQ(check.OpenInBrowser(nullptr, SW_SHOW), 0);
    EXPECT_EQ(r.opened.size(), 1u);

    // The shell fails: the command registered for ".htm" runs, cut before its "%1". The
    // test registers one in the test prefix, which has none.
    r.shellResult = SE_ERR_NOASSOC;
    SetClassesDefault(".htm", "VgTestPage");
    SetClassesDefault("VgTestPage\\shell\\open\\command", "\"C:\\b\\browser.exe\" -url \"%1\"");
    EXPECT_EQ(check.OpenInBrowser(page, SW_SHOW), 33);
    ASSERT_EQ(r.commands.size(), 1u);
    EXPECT_EQ(r.commands[0], std::string("\"C:\\b\\browser.exe\" -url  \"") + page + "\"");
    // An address too long for the command buffer is refused rather than cut.
    const std::string huge = "https://example.test/" + std::string(600, 'a');
    r.commands.clear();
    EXPECT_EQ(check.OpenInBrowser(huge.c_str(), SW_SHOW), SE_ERR_NOASSOC);
    EXPECT_TRUE(r.commands.empty());
    ::RegDeleteTreeA(HKEY_CLASSES_ROOT, ".htm");
    ::RegDeleteTreeA(HKEY_CLASSES_ROOT, "VgTestPage");
}

TEST(UpdateCheck, ReadDefaultValueGivesTheTextOrTheOpenError) {
    const char* path = "Software\\VgUpdateTests\\Key";
    ::RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\VgUpdateTests");
    std::string value = "stale";
    EXPECT_EQ(CUpdateCheck::ReadDefaultValue(HKEY_CURRENT_USER, path, value), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(value, "");
    HKEY key = nullptr;
    ASSERT_EQ(::RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_SET_VALUE, nullptr,
                                &key, nullptr),
              ERROR_SUCCESS);
    EXPECT_EQ(CUpdateCheck::ReadDefaultValue(HKEY_CURRENT_USER, path, value), ERROR_SUCCESS);
    EXPECT_EQ(value, "");  // no default value: empty text, but the key opened
    ::RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>("htmlfile"), 9);
    EXPECT_EQ(CUpdateCheck::ReadDefaultValue(HKEY_CURRENT_USER, path, value), ERROR_SUCCESS);
    EXPECT_EQ(value, "htmlfile");
    const std::string longer(400, 'v');
    ::RegSetValueExA(key, nullptr, 0, REG_SZ, reinterpret_cast<const BYTE*>(longer.c_str()), 401);
    EXPECT_EQ(CUpdateCheck::ReadDefaultValue(HKEY_CURRENT_USER, path, value), ERROR_SUCCESS);
    EXPECT_EQ(value, "");  // longer than the 260-byte buffer: the read fails
    ::RegCloseKey(key);
    ::RegDeleteTreeA(HKEY_CURRENT_USER, "Software\\VgUpdateTests");
}
