// CUpdateCheck: asks the maker's web server for a newer version and offers its download page.
#pragma once

#include <windows.h>

#include <functional>
#include <optional>
#include <string>

// The check runs on the caller's thread. Every network wait is bounded: connect, send and
// receive time-outs are set on the request itself (a session's are not honoured everywhere)
// and the whole fetch has a deadline, so a silent or trickling server ends in the failure
// message rather than a frozen dialog. Page addresses from the network are opened only when
// they are plain http or https addresses.
class CUpdateCheck {
public:
    // How pages are opened. The defaults are ShellExecuteA("open") and WinExec; tests replace
    // them so that no browser starts.
    struct Launcher {
        std::function<INT_PTR(const char* address, int show)> shellOpen;
        std::function<UINT(const char* commandLine, int show)> run;
    };

    static constexpr DWORD kDefaultTimeout = 8000;    // per connect, send and receive
    static constexpr DWORD kDefaultDeadline = 15000;  // for the whole fetch

    CUpdateCheck();
    explicit CUpdateCheck(Launcher launcher, DWORD timeout = kDefaultTimeout,
                          DWORD deadline = kDefaultDeadline);
    CUpdateCheck(const CUpdateCheck&) = delete;
    CUpdateCheck& operator=(const CUpdateCheck&) = delete;

    // Compares the version file at `address` with the running major.minor.patch and tells the
    // user; on a newer version offers to open its page.
    virtual void CheckVersion(const char* address, int major, int minor, int patch);
    // The same against this module's file version (major and minor words), with the short
    // form of the version file.
    virtual void CheckFileVersion(const char* address);
    // CheckFileVersion with the address from this module's string table.
    virtual void CheckFileVersionFromResource(UINT stringId);
    virtual ~CUpdateCheck();
    // The notifications; a subclass may replace them.
    virtual void ReportNewer(DWORD current, DWORD newer, const char* address);
    virtual void ReportNewerVersion(const char* address, int major, int minor, int patch,
                                    int newMajor, int newMinor, int newPatch);
    virtual void ReportUpToDate();
    virtual void ReportFailure();

    // Opens a web page in the user's browser: the shell first, then the command registered
    // for ".htm" files. Returns the shell's result (above 32 on success) or the command's;
    // 0 when the address is refused.
    INT_PTR OpenInBrowser(const char* address, int show);
    // Reads the default value of `path` below `root` (259 bytes at most; a failed read gives
    // empty text). Returns the error of opening the key, 0 on success.
    static LONG ReadDefaultValue(HKEY root, const char* path, std::string& value);

protected:
    // The first bytes of the answer at `address` (at most the version file's limit), or
    // nothing when it cannot be reached, does not answer 200, or runs past the deadline.
    std::optional<std::string> Fetch(const char* address) const;

private:
    Launcher m_launcher;
    DWORD m_timeout;
    DWORD m_deadline;
};
