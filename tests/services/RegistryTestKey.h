// A private registry key for one test, deleted afterwards, with raw access to check what the
// classes under test wrote.
#pragma once

#include <windows.h>

#include <gtest/gtest.h>

#include <string>
#include <vector>

class RegistryTestKey : public ::testing::Test {
protected:
    void SetUp() override {
        const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
        m_name = std::to_string(GetCurrentProcessId()) + "-" + info->name();
        m_parent = "Software\\VarenGlazeTests\\" + m_name;
        m_path = m_parent + "\\Key";
    }
    void TearDown() override {
        RegDeleteTreeA(HKEY_CURRENT_USER, m_parent.c_str());
        RegDeleteTreeA(HKEY_LOCAL_MACHINE, HklmPath().c_str());
        // These fail, harmlessly, while other tests still have keys there.
        RegDeleteKeyA(HKEY_CURRENT_USER, "Software\\VarenGlazeTests");
        RegDeleteKeyA(HKEY_LOCAL_MACHINE, "SOFTWARE\\Wow6432Node\\VarenGlazeTests");
    }

    // The test's key below HKEY_CURRENT_USER; it does not exist at the start.
    const char* Path() const { return m_path.c_str(); }
    std::string Sibling(const char* name) const { return m_parent + "\\" + name; }
    // The test's key below HKEY_LOCAL_MACHINE.
    std::string HklmPath() const { return "SOFTWARE\\Wow6432Node\\VarenGlazeTests\\" + m_name; }

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

    // A value of the test's key as stored; type REG_NONE and no bytes when absent.
    struct Stored {
        DWORD type = REG_NONE;
        std::string data;
    };
    Stored Get(const char* name) const {
        Stored out;
        HKEY key = nullptr;
        if (RegOpenKeyExA(HKEY_CURRENT_USER, Path(), 0, KEY_QUERY_VALUE, &key) == ERROR_SUCCESS) {
            char data[8192];
            DWORD size = sizeof data;
            if (RegQueryValueExA(key, name, nullptr, &out.type, reinterpret_cast<BYTE*>(data),
                                 &size) == ERROR_SUCCESS) {
                out.data.assign(data, size);
            }
            RegCloseKey(key);
        }
        return out;
    }
    static bool Exists(HKEY root, const char* path) {
        HKEY key = nullptr;
        const bool found = RegOpenKeyExA(root, path, 0, KEY_QUERY_VALUE, &key) == ERROR_SUCCESS;
        if (found) {
            RegCloseKey(key);
        }
        return found;
    }

private:
    std::string m_name;
    std::string m_parent;
    std::string m_path;
};
