// Listing the preset folder: which files and which preset elements are listed, in what
// order, and the operations on list entries. Runs under Wine (FindFirstFileA).
#include <gtest/gtest.h>

#include <filesystem>

#include "TempFiles.h"
#include "presets/FileFinder.h"
#include "presets/PresetFolder.h"
#include "presets/PresetStore.h"
#include "presets/XmlProfile.h"

namespace {

std::string PresetFile(std::initializer_list<const char*> presets) {
    std::string text = "<?xml version=\"1.0\"?><root><VarenWorks><VarenGlaze Version=\"2.1.0\">";
    for (const char* preset : presets) text += preset;
    return text + "</VarenGlaze></VarenWorks></root>";
}

std::vector<std::string> Names(const CPresetStore& store) {
    std::vector<std::string> names;
    for (int i = 0; i < store.GetCount(); ++i) names.push_back(store.GetDisplayName(i));
    return names;
}

class PresetStoreTest : public ::testing::Test {
protected:
    std::string Folder() const { return m_dir.Path() + "\\"; }
    void Put(const std::string& name, const std::string& content) {
        WriteBytes(m_dir.File(name), content);
    }
    CTempDir m_dir;
};

}  // namespace

TEST_F(PresetStoreTest, ListsVppFilesByByteOrderIgnoringOthers) {
    Put("b.vpp", PresetFile({"<FromB Disp=\"1\"/>"}));
    Put("A.vpp", PresetFile({"<FromA Disp=\"1\"/>"}));
    Put("x.VPP", PresetFile({"<FromX Disp=\"1\"/>"}));
    Put("My.Preset.vpp", PresetFile({"<Dotted Disp=\"1\"/>"}));
    Put("a.vpp.bak", PresetFile({"<Backup Disp=\"1\"/>"}));
    Put("notes.txt", PresetFile({"<Text Disp=\"1\"/>"}));
    std::filesystem::create_directories(m_dir.File("sub"));
    WriteBytes(m_dir.File("sub\\inner.vpp"), PresetFile({"<Inner Disp=\"1\"/>"}));
    std::filesystem::create_directories(m_dir.File("folder.vpp"));

    CPresetStore store;
    EXPECT_EQ(store.rescan(Folder(), "VarenGlaze"), 4);
    EXPECT_EQ(Names(store), (std::vector<std::string>{"FromA", "Dotted", "FromB", "FromX"}));
    EXPECT_EQ(store.GetFiles(),
              (std::vector<std::string>{"A.vpp", "My.Preset.vpp", "b.vpp", "x.VPP"}));
    EXPECT_EQ(store.GetFilePath(0), Folder() + "\\A.vpp");
    EXPECT_EQ(store.GetFileName(3), "x.VPP");
}

TEST_F(PresetStoreTest, ListsDisplayedElementsInDocumentOrder) {
    Put("set.vpp",
        PresetFile({"<One Disp=\"1\" Mod=\"1\"/>", "<Hidden Disp=\"0\"/>", "<NoDisp Mod=\"1\"/>",
                    "<Bare/>", "<Minus Disp=\"-1\"/>", "<Empty Disp=\"\"/>", "<Word Disp=\"yes\"/>",
                    "<Esc&amp;aped Disp=\"1\"/>", "<Two Disp=\"1\"></Two>"}));
    CPresetStore store;
    store.rescan(Folder(), "VarenGlaze");
    EXPECT_EQ(Names(store), (std::vector<std::string>{"One", "Minus", "Esc&aped", "Two"}));
    for (const auto& entry : store.GetEntries()) EXPECT_EQ(entry.fileIndex, 0);
}

TEST_F(PresetStoreTest, FilesWithoutPresetsAddNothing) {
    Put("a.vpp", "<?xml?><root><Other><VarenGlaze><P Disp=\"1\"/></VarenGlaze></Other></root>");
    Put("b.vpp", "<?xml?><root><VarenWorks><VarenGlaze><P Disp=\"1\"/></VarenWorks>");  // malformed
    Put("c.vpp", "just text");
    Put("d.vpp", "");
    Put("e.vpp", "<?xml?><root><VarenWorks><Other><P Disp=\"1\"/></Other></VarenWorks></root>");
    Put("f.vpp", PresetFile({"<Good Disp=\"1\"/>"}));
    CPresetStore store;
    EXPECT_EQ(store.rescan(Folder(), "VarenGlaze"), 1);
    EXPECT_EQ(store.GetDisplayName(0), "Good");
    EXPECT_EQ(store.GetFileName(0), "f.vpp");
}

TEST_F(PresetStoreTest, DuplicateNamesAreListedAndFoundFirst) {
    Put("1.vpp", PresetFile({"<Portrait Disp=\"1\" CIT=\"1000\"/>", "<Portrait Disp=\"1\"/>"}));
    Put("2.vpp", PresetFile({"<Portrait Disp=\"1\" CIT=\"2000\"/>"}));
    CPresetStore store;
    ASSERT_EQ(store.rescan(Folder(), "VarenGlaze"), 3);
    EXPECT_EQ(store.FindDisplayName("Portrait"), 0);
    EXPECT_EQ(store.FindDisplayName("portrait"), -1);
    EXPECT_EQ(store.FindDisplayName("Missing"), -1);

    PresetValues current = {0, 8, 0.5, 1, 1.5, 0, 0, 1, 2};
    PresetValues read{};
    ASSERT_TRUE(store.readPreset(1, current, read));  // second entry reads the first element
    EXPECT_DOUBLE_EQ(read[0], 1.0);
    ASSERT_TRUE(store.readPreset(2, current, read));
    EXPECT_DOUBLE_EQ(read[0], 2.0);
    EXPECT_FALSE(store.readPreset(3, current, read));
    EXPECT_FALSE(store.readPreset(-1, current, read));
}

TEST_F(PresetStoreTest, HidingAPresetTakesItOffTheNextListing) {
    Put("user.vpp", PresetFile({"<Mine Disp=\"1\" Mod=\"1\"/>", "<Other Disp=\"1\"/>"}));
    Put("pre.vpp", PresetFile({"<Fixed Disp=\"1\" Mod=\"0\"/>"}));
    CPresetStore store;
    ASSERT_EQ(store.rescan(Folder(), "VarenGlaze"), 3);
    EXPECT_EQ(Names(store), (std::vector<std::string>{"Fixed", "Mine", "Other"}));
    EXPECT_FALSE(store.isPresetModifiable(0));
    EXPECT_TRUE(store.isPresetModifiable(1));
    EXPECT_FALSE(store.isPresetModifiable(7));

    ASSERT_TRUE(store.hidePreset(1));
    EXPECT_EQ(store.GetCount(), 3);  // the table stays until the next rescan
    EXPECT_EQ(store.rescan(), 2);
    EXPECT_EQ(Names(store), (std::vector<std::string>{"Fixed", "Other"}));
    EXPECT_TRUE(std::filesystem::exists(m_dir.File("user.vpp")));
}

TEST_F(PresetStoreTest, SavedPresetsAppearAfterARescan) {
    CPresetStore store;
    EXPECT_EQ(store.rescan(Folder(), "VarenGlaze"), 0);
    PresetValues values = {1, 5, 0.25, 2, 1, 1, 0.5, 2, 1};
    const std::string file = store.NewPresetFilePath("my__preset");
    EXPECT_EQ(file, Folder() + "\\my__preset.vpp");
    ASSERT_EQ(writePreset(file, "my__preset", "d", "User", values), PresetWriteResult::Written);
    EXPECT_EQ(store.rescan(), 1);
    PresetValues read{};
    ASSERT_TRUE(store.readPreset(0, PresetValues{}, read));
    EXPECT_EQ(read, values);
}

TEST_F(PresetStoreTest, FolderAlwaysEndsWithABackslash) {
    Put("A.vpp", PresetFile({"<P Disp=\"1\"/>"}));
    CPresetStore store;
    ASSERT_EQ(store.rescan(m_dir.Path(), "VarenGlaze"), 1);
    EXPECT_EQ(store.GetFolder(), Folder());
    EXPECT_EQ(store.GetFilePath(0), Folder() + "\\A.vpp");
    EXPECT_EQ(store.NewPresetFilePath("N"), Folder() + "\\N.vpp");
    ASSERT_EQ(store.rescan(Folder(), "VarenGlaze"), 1);
    EXPECT_EQ(store.GetFolder(), Folder());
}

TEST_F(PresetStoreTest, NamesFromAnImportedFileNeverLeadOutOfTheFolder) {
    Put("import.vpp",
        PresetFile({"<..&#92;..&#92;Windows&#92;System32&#92;evil Disp=\"1\"/>",
                    "<C&#58;&#92;evil Disp=\"1\"/>", "<NUL Disp=\"1\"/>", "<Fine Disp=\"1\"/>"}));
    CPresetStore store;
    ASSERT_EQ(store.rescan(Folder(), "VarenGlaze"), 4);
    EXPECT_EQ(store.GetDisplayName(0), "..\\..\\Windows\\System32\\evil");
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(store.NewPresetFilePath(store.GetDisplayName(i)), "") << i;
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(
            writePreset(Folder() + "x.vpp", store.GetDisplayName(i), "", "User", PresetValues{}),
            PresetWriteResult::Failed)
            << i;
    }
    EXPECT_EQ(store.NewPresetFilePath("Fine"), Folder() + "\\Fine.vpp");
    EXPECT_EQ(store.NewPresetFilePath(std::string(255 - Folder().size(), 'a')), "");  // too long
    EXPECT_FALSE(std::filesystem::exists(m_dir.File("x.vpp")));
    CPresetStore empty;
    EXPECT_EQ(empty.NewPresetFilePath("Fine"), "");
}

TEST_F(PresetStoreTest, MissingOrEmptyFolderGivesAnEmptyList) {
    CPresetStore store;
    EXPECT_EQ(store.rescan(Folder() + "nowhere\\", "VarenGlaze"), 0);
    EXPECT_EQ(store.rescan("", "VarenGlaze"), 0);
    EXPECT_EQ(store.GetDisplayName(0), "");
    EXPECT_EQ(store.GetFilePath(0), "");
}

TEST_F(PresetStoreTest, InstalledFolderLayoutListsThePredefinedPresets) {
    std::filesystem::create_directories(m_dir.File("Presets"));
    for (const auto& entry : std::filesystem::directory_iterator(VG_PRESET_DATA_DIR)) {
        std::filesystem::copy_file(entry.path(),
                                   m_dir.File("Presets\\" + entry.path().filename().string()));
    }
    CPresetStore store;
    int count = store.rescan(PresetFolderFromInstallPath(m_dir.Path()), "VarenGlaze");
    EXPECT_GE(count, 10);
    for (int i = 0; i < count; ++i) EXPECT_FALSE(store.isPresetModifiable(i)) << i;
}

TEST(PresetFileFinder, AppliesAllFourListsAndDescendsInOrder) {
    CTempDir dir;
    for (const char* folder : {"b", "a", "skip", "a\\deep"}) {
        std::filesystem::create_directories(dir.File(folder));
    }
    for (const char* file : {"z.txt", "y.log", "a\\1.txt", "a\\deep\\2.txt", "b\\3.TXT",
                             "skip\\4.txt", "keep.tmp.txt"}) {
        WriteBytes(dir.File(file), "x");
    }
    FileFinderOptions options;
    options.searchSubFolders = true;
    options.fullPaths = true;
    CFileFinder finder("skip", "*.tmp.*", "", "*.txt", options);
    ASSERT_TRUE(finder.Find(dir.Path() + "\\"));
    const std::string base = dir.Path();
    EXPECT_EQ(finder.GetFolders(),
              (std::vector<std::string>{base + "\\a", base + "\\b", base + "\\a\\deep"}));
    EXPECT_EQ(finder.GetFiles(),
              (std::vector<std::string>{base + "\\z.txt", base + "\\a\\1.txt",
                                        base + "\\a\\deep\\2.txt", base + "\\b\\3.TXT"}));

    options.fileIgnoreCase = false;
    options.searchSubFolders = false;
    options.fullPaths = false;
    CFileFinder exact("", "", "", "*.txt", options);
    ASSERT_TRUE(exact.Find(dir.Path()));
    EXPECT_EQ(exact.GetFiles(), (std::vector<std::string>{"keep.tmp.txt", "z.txt"}));
    EXPECT_FALSE(exact.Find(dir.File("missing")));
}
