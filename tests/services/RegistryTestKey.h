// A private registry key for one test, deleted afterwards, with raw access to check what the
// classes under test wrote.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

class RegistryTestKey : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        m_parent = "Software\\VarenGlazeTests\\" + std::to_string(GetCurrentProcessId()) + "-" +
                   info->test_suite_name() + "-" + info->name();
        m_path = m_parent + "\\Key";
        RegDeleteTreeA(HKEY_CURRENT_USER, m_parent.c_str());
    }
    void TearDown() override {
        RegDeleteTreeA(HKEY_CURRENT_USER, m_parent.c_str());
        for (const std::string& extra : m_extraHklm) {
            RegDeleteTreeA(HKEY_LOCAL_MACHINE, extra.c_str());
        }
        // Fails, harmlessly, while other tests still have keys there.
        RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\VarenGlazeTests");
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Wow6432Node\\VarenGlazeTests");
    }

    // The test's key path below HKEY_CURRENT_USER; it does not exist at the start.
    const char* Path() const { return m_path.c_str(); }
    // Another path below the test's own part of the registry.
    std::string Sibling(const char* name) const { return m_parent + "\\" + name; }
    // A test key below HKEY_LOCAL_MACHINE, deleted at the end.
    std::string HklmPath(const char* name) {
        m_extraHklm.push_back("SOFTWARE\\Wow6432Node\\VarenGlazeTests\\" +
                              std::to_string(GetCurrentProcessId()) + "-" + name);
        return m_extraHklm.back();
    }

    static void Put(HKEY root, const std::string& path, const char* name, DWORD type,
                    const void* data, size_t size) {
        HKEY key = nullptr;
        ASSERT_EQ(RegCreateKeyExA(root, path.c_str(), 0, nullptr, 0, KEY_SET_VALUE, nullptr, &key,
                                  nullptr),
                  ERROR_SUCCESS);
        EXPECT_EQ(RegSetValueExA(key, name, 0, type, static_cast<const BYTE*>(data),
                                 static_cast<DWORD>(size)),
                  ERROR_SUCCESS);
        RegCloseKey(key);
    }
    void Put(const char* name, DWORD type, const void* data, size_t size) {
        Put(HKEY_CURRENT_USER, m_path, name, type, data, size);
    }
    void PutText(const char* name, const std::string& text) {
        Put(name, REG_SZ, text.c_str(), text.size() + 1);
    }
    void PutNumber(const char* name, DWORD number) { Put(name, REG_DWORD, &number, sizeof number); }

    // A value as stored: its type and bytes; type REG_NONE with no bytes when absent.
    struct Stored {
        DWORD type = REG_NONE;
        std::vector<BYTE> data;
        bool present = false;
    };
    static Stored Get(HKEY root, const std::string& path, const char* name) {
        Stored out;
        HKEY key = nullptr;
        if (RegOpenKeyExA(root, path.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
            return out;
        }
        DWORD size = 0;
        if (RegQueryValueExA(key, name, nullptr, &out.type, nullptr, &size) == ERROR_SUCCESS) {
            out.data.resize(size);
            out.present = RegQueryValueExA(key, name, nullptr, &out.type, out.data.data(), &size) ==
                          ERROR_SUCCESS;
            out.data.resize(size);
        }
        RegCloseKey(key);
        return out;
    }
    Stored Get(const char* name) const { return Get(HKEY_CURRENT_USER, m_path, name); }

    static bool Exists(HKEY root, const std::string& path) {
        HKEY key = nullptr;
        if (RegOpenKeyExA(root, path.c_str(), 0, KEY_QUERY_VALUE, &key) != ERROR_SUCCESS) {
            return false;
        }
        RegCloseKey(key);
        return true;
    }

    static std::string AsText(const Stored& s) { return std::string(s.data.begin(), s.data.end()); }

private:
    std::string m_parent;
    std::string m_path;
    std::vector<std::string> m_extraHklm;
};
