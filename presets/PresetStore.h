// The table of listed presets: every displayed preset element of every preset file in the
// preset folder, in file-name order and then document order.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "presets/PresetFile.h"

// Owns the folder text (ending with a backslash), the product element name, the file table
// and the list. List indexes address entries and are valid until the next rescan; the
// tables do not change between rescans, whatever happens to the files.
class CPresetStore {
public:
    struct Entry {
        std::string displayName;  // the preset element's name, unescaped
        int fileIndex;            // into the file table
    };

    CPresetStore() = default;

    // Replaces the folder and product element name, lists the folder and builds the list.
    // Returns the number of entries.
    int rescan(const std::string& folder, const std::string& productName);
    // Lists the same folder again.
    int rescan();
    void Clear();

    int GetCount() const { return static_cast<int>(m_entries.size()); }
    bool IsValidIndex(int index) const { return index >= 0 && index < GetCount(); }
    // Empty for an invalid index.
    const std::string& GetDisplayName(int index) const;
    // The folder, a backslash and the entry's file name; empty for an invalid index.
    std::string GetFilePath(int index) const;
    // The bare file name of the entry's file (as in the folder); empty for an invalid index.
    const std::string& GetFileName(int index) const;
    // Index of the first entry whose display name equals name byte for byte, or -1.
    int FindDisplayName(std::string_view name) const;

    const std::string& GetFolder() const { return m_folder; }
    const std::string& GetProductName() const { return m_productName; }
    const std::vector<std::string>& GetFiles() const { return m_files; }
    const std::vector<Entry>& GetEntries() const { return m_entries; }

    // The file a new preset of that name is saved to: folder, backslash, name, ".vpp". Empty
    // when the name cannot be a file name inside the folder (see PresetFileNameFor), when
    // there is no folder, or when the path would be too long for the file functions.
    std::string NewPresetFilePath(std::string_view presetName) const;

    // The preset operations on list entries. Each returns false for an invalid index.
    bool readPreset(int index, const PresetValues& current, PresetValues& result) const;
    bool isPresetModifiable(int index) const;
    bool hidePreset(int index) const;

private:
    void BuildList();

    std::string m_productName{"VarenGlaze"};
    std::string m_folder;
    std::vector<std::string> m_files;
    std::vector<Entry> m_entries;
};
