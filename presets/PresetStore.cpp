// The preset store: lists the preset folder and collects the displayed presets.
#include "presets/PresetStore.h"

#include "presets/FileFinder.h"
#include "presets/PresetFolder.h"

namespace {

const std::string kEmpty;
// The longest path the ...A file functions take, with its terminator.
constexpr size_t kMaxPath = 260;

}  // namespace

int CPresetStore::rescan(const std::string& folder, const std::string& productName) {
    // Callers join the folder and a file name directly, so it always ends with a backslash.
    m_folder = folder;
    if (!m_folder.empty() && m_folder.back() != '\\')
        m_folder += '\\';
    m_productName = productName;
    return rescan();
}

int CPresetStore::rescan() {
    m_files.clear();
    m_entries.clear();
    if (m_folder.empty())
        return 0;
    CFileFinder finder("", "", "", "*.vpp");
    if (finder.Find(m_folder))
        m_files = finder.GetFiles();
    if (!m_files.empty())
        BuildList();
    return GetCount();
}

void CPresetStore::Clear() {
    m_files.clear();
    m_entries.clear();
}

void CPresetStore::BuildList() {
    for (size_t f = 0; f < m_files.size(); ++f) {
        for (std::string& name : ListedPresetNames(m_folder + "\\" + m_files[f], m_productName))
            m_entries.push_back({std::move(name), static_cast<int>(f)});
    }
}

const std::string& CPresetStore::GetDisplayName(int index) const {
    return IsValidIndex(index) ? m_entries[static_cast<size_t>(index)].displayName : kEmpty;
}

const std::string& CPresetStore::GetFileName(int index) const {
    if (!IsValidIndex(index))
        return kEmpty;
    return m_files[static_cast<size_t>(m_entries[static_cast<size_t>(index)].fileIndex)];
}

std::string CPresetStore::GetFilePath(int index) const {
    if (!IsValidIndex(index))
        return std::string();
    // The folder ends with a backslash, so the separator is doubled; Windows accepts that.
    return m_folder + "\\" + GetFileName(index);
}

int CPresetStore::FindDisplayName(std::string_view name) const {
    for (size_t i = 0; i < m_entries.size(); ++i) {
        if (m_entries[i].displayName == name)
            return static_cast<int>(i);
    }
    return -1;
}

std::string CPresetStore::NewPresetFilePath(std::string_view presetName) const {
    // Names come from the user and from imported files: one that could leave the folder or
    // name a device gets no path at all.
    std::string fileName = PresetFileNameFor(presetName);
    if (fileName.empty() || m_folder.empty())
        return std::string();
    std::string path = m_folder + "\\" + fileName;
    return path.size() < kMaxPath ? path : std::string();
}

bool CPresetStore::readPreset(int index, const PresetValues& current, PresetValues& result) const {
    if (!IsValidIndex(index))
        return false;
    result = readPresetValues(GetFilePath(index), m_productName, GetDisplayName(index), current);
    return true;
}

bool CPresetStore::isPresetModifiable(int index) const {
    if (!IsValidIndex(index))
        return false;
    return ::isPresetModifiable(GetFilePath(index), m_productName, GetDisplayName(index));
}

bool CPresetStore::hidePreset(int index) const {
    if (!IsValidIndex(index))
        return false;
    return ::hidePreset(GetFilePath(index), m_productName, GetDisplayName(index));
}
