// A loaded plug-in module: the DLL, its filter property list and its resolved entry point.
#pragma once

#include "host/PiPL.h"
#include "sdk/PluginInterface.h"

#include <string>

namespace vg::host {

// Owns the module handle; frees the library on destruction.
class CPlugInModule {
public:
    CPlugInModule() = default;
    ~CPlugInModule();
    CPlugInModule(const CPlugInModule&) = delete;
    CPlugInModule& operator=(const CPlugInModule&) = delete;

    // Checks the file (exists, PE, x64), loads it, finds a filter PiPL and the entry point it
    // names. false with a message for the user otherwise; the module is then not loaded.
    bool Load(const std::string& path, std::string* error);
    void Unload();

    bool Loaded() const { return m_entry != nullptr; }
    const PlugInInfo& Info() const { return m_info; }
    ps::PluginMainProc Entry() const { return m_entry; }
    void* Module() const { return m_module; }

private:
    void* m_module = nullptr;  // HMODULE
    ps::PluginMainProc m_entry = nullptr;
    PlugInInfo m_info;
};

}  // namespace vg::host
