// Scope guard for the application's re-entry flags (rectLock, fetchLock).
#pragma once

// Sets the flag for the lifetime of the scope and clears it on every exit, failures included.
class CFlagGuard {
public:
    explicit CFlagGuard(bool& flag) : m_flag(flag) { m_flag = true; }
    ~CFlagGuard() { m_flag = false; }
    CFlagGuard(const CFlagGuard&) = delete;
    CFlagGuard& operator=(const CFlagGuard&) = delete;

private:
    bool& m_flag;
};
