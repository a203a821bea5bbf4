// What the dialog tests share: the module beside the test engine or the real one, a clean
// registry, test images, the test engine's record of its calls and what the host painted.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

#include "host/FilterHost.h"
#include "plugin/EngineCall.h"
#include "presets/PresetFile.h"
#include "tests/plugin/TestEngine.h"

// The module beside the test engine (which inverts and counts its calls) or the real engine.
std::string ModuleWithTestEngine();
std::string ModuleWithRealEngine();
// A folder for the tests' output files (screenshots), with a trailing slash.
std::string OutputFolder();

// Sets the installation folder (so the dialog opens without registry messages) and removes
// the stored preferences and window placement, so that every test starts like a first run.
void ResetRegistry();
// Stores one preference value ("vwpfast", ...) as text.
void StorePreference(const char* name, const char* value);

// The preset folder of the tests' installation (with a trailing backslash); Reset empties it.
std::string PresetFolder();
std::string ResetPresetFolder();
// Writes one preset into `file` of the preset folder; a predefined one gets "Mod" 0.
void InstallPreset(const std::string& file, const std::string& name, const PresetValues& values,
                   bool predefined = false);
// Whole files, byte for byte; an empty text for a file that cannot be read.
std::string ReadFileBytes(const std::string& path);
void WriteFileBytes(const std::string& path, const std::string& bytes);
bool FileExists(const std::string& path);

// A photograph-like test image: smooth ramps, a bright disc and a fine checker.
vg::host::CHostImage TestImage(int32_t width, int32_t height, int32_t depth);

// The test engine loaded by the plug-in (only while the engine is loaded).
struct EngineState {
    bool loaded = false;
    TestEngineCall last{};
};
EngineState ReadEngine();
void ScriptEngine(const TestEngineScript& script);

class CDialogDriver;
// Waits for the preview the dialog filters once more when it has settled after opening: at least
// `calls` engine calls (the presets' thumbnails count too, so the count alone can be reached
// before the settle), then long enough for the dialog's settle timer to have fired.
void UntilSettledPreview(CDialogDriver& d, int calls);

// What the host painted last through displayPixels, copied when it happened.
struct Painted {
    int calls = 0;
    int32_t rows = 0;
    int32_t columns = 0;
    int32_t planes = 0;
    int32_t dstRow = 0;
    int32_t dstCol = 0;
    std::vector<uint8_t> pixels;  // rows x columns x planes, tightly packed
    uint8_t At(int32_t row, int32_t column, int32_t plane) const {
        return pixels[(size_t(row) * columns + column) * planes + plane];
    }
};

// Host options that record every paint and request into the given places.
vg::host::HostOptions Recording(Painted* painted, std::vector<vg::host::AdvanceRequest>* requests);

// Saves the dialog window, frame included, as a PNG file.
bool SaveWindowPng(HWND window, const std::string& path);
