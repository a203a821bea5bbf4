// The trace log: its switch, the truncation at start and whole lines of any length; on
// Windows also the lines the module writes while it loads and runs.
#include "plugin/TraceLog.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string>

#ifdef _WIN32
#include "FakeHost.h"
#include "PluginTestPaths.h"
#include "plugin/FilterParams.h"
#include <windows.h>
#else
#include <sys/stat.h>
#include <unistd.h>
#endif

namespace {

void SetTraceSwitch(const char* value) {
#ifdef _WIN32
    SetEnvironmentVariableA("VWTRACE", value);
#else
    if (value)
        setenv("VWTRACE", value, 1);
    else
        unsetenv("VWTRACE");
#endif
}

class PluginTrace : public ::testing::Test {
protected:
    void SetUp() override {
#ifndef _WIN32
        // Natively the documents folder is $HOME/Documents: keep it in the build tree.
        const std::string home = std::string(VG_PLUGIN_TEST_DIR) + "/trace-home";
        mkdir(home.c_str(), 0755);
        mkdir((home + "/Documents").c_str(), 0755);
        setenv("HOME", home.c_str(), 1);
#endif
        ASSERT_TRUE(TraceFilePath(m_path));
        std::remove(m_path.c_str());
    }
    void TearDown() override {
        SetTraceSwitch(nullptr);
    }

    bool Exists() const {
        std::ifstream in(m_path);
        return in.good();
    }
    std::string Contents() const {
        std::ifstream in(m_path, std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        std::string text = s.str();
        // Text mode on Windows writes CR LF; compare plain lines.
        std::string plain;
        for (char c : text)
            if (c != '\r')
                plain += c;
        return plain;
    }

    std::string m_path;
};

TEST_F(PluginTrace, NothingIsWrittenWithoutTheSwitch) {
    SetTraceSwitch(nullptr);
    StartTraceFile("PX-App created");
    WriteTrace("PX Selector", 1);
    EXPECT_FALSE(Exists());
}

TEST_F(PluginTrace, EmptySwitchValueCountsAsOn) {
    SetTraceSwitch("");
    StartTraceFile("PX-App created");
    EXPECT_EQ(Contents(), "PX-App created new session\n");
}

TEST_F(PluginTrace, StartTruncatesAndWritersAppendOneLineEach) {
    SetTraceSwitch("1");
    WriteTrace("old", "line");
    StartTraceFile("PX-App created");
    WriteTrace("PX Selector", int32_t(-3));
    WriteTrace("PX:setParams()", "begin");
    WriteTrace("PX Dlg zoom", 0.5);
    WriteTrace("PX:psMemAlloc-done", static_cast<const void*>(nullptr));
    const std::string text = Contents();
    EXPECT_EQ(text.rfind("PX-App created new session\nPX Selector - -3\n"
                         "PX:setParams() - begin\nPX Dlg zoom - 5.000000e-01\n"
                         "PX:psMemAlloc-done - ",
                         0),
              0u)
        << text;
    EXPECT_EQ(text.back(), '\n');
    EXPECT_EQ(text.find("old"), std::string::npos);
}

TEST_F(PluginTrace, LongLabelsAndValuesAreWrittenWhole) {
    SetTraceSwitch("yes");
    const std::string label(5000, 'L');
    const std::string value(70000, 'v');
    StartTraceFile("s");
    WriteTrace(label.c_str(), value);
    EXPECT_EQ(Contents(), "s new session\n" + label + " - " + value + "\n");
}

#ifdef _WIN32
TEST_F(PluginTrace, EachLoadOfTheModuleStartsTheFileAfresh) {
    SetTraceSwitch("1");
    {
        FakeHost host(ModuleWithEngine());
        ASSERT_TRUE(host.Loaded());
        host.Call(9);
    }
    {
        FakeHost host(ModuleWithEngine());
        host.Call(ps::filterSelectorParameters);
    }
    const std::string text = Contents();
    EXPECT_EQ(text.rfind("PX-App created new session\n"
                         "Varen Glaze - version:  - 2.1.0\n"
                         "PX-Entry()-pData - 0\n"
                         "PX Selector - 1\n"
                         "PX-Parameters() - begin imageMode - 3\n"
                         "PX-Parameters() - Default param set\n"
                         "PX-Exit() - ",
                         0),
              0u)
        << text;
    EXPECT_EQ(text.find("PX Selector - 9"), std::string::npos) << "first load's lines are gone";
}

TEST_F(PluginTrace, ReplayedStartTracesEachStepInOrder) {
    FakeHostOptions options;
    options.sampling = false;
    FakeHost host(ModuleWithEngine(), options);
    ASSERT_EQ(host.Call(ps::filterSelectorPrepare), 0);
    host.SetDescriptor({{FourCC("CIT_"), 2.0}}, ps::plugInDialogDontDisplay);
    SetTraceSwitch("");
    ASSERT_EQ(host.Call(ps::filterSelectorStart), 0);
    const std::string text = Contents();
    // The lines support reads, in the order they are written (addresses and handles vary).
    const char* expected[] = {
        "PX Selector - 3\n",
        "PX:loadDLL() - begin\n",
        "PX:loadDLL() - handle - ",
        "PX:Start() - begin\n",
        "PX:DoPreProc() - begin\nPX:DoPreProc() - return\n",
        "PX:DoUI() - begin\n",
        "PX:ReadScriptParameters() - begin\n",
        "PY:ReadScriptParameters() - Reading param...\n",
        "PX:ReadScriptParameters() - return - 0\n",
        "PX:DoProc() - begin\n",
        "PX:getFilterRect - 0 48 0 64\n",
        "PX:setAllRectDec - begin - 0 48 0 64  1\n",
        "PX:setAllRect - limited - 0 48 0 64  1\n",
        "PX:setAllRect - supportPadding\n",
        "PX:setAllRect -  - NOT support simpling!\n",
        "PX:getRectImage() - AS - begin\nPX:getRectImage() - AS - end\n",
        "PX:getInDec - dec: - 1\n",
        "PX: procInRect()-begin - 1\n",
        "PX: procInRect()-inData to outData - 48\n",
        "PX: procInRect()-inData to outData - copied\n",
        "PX: procInRect()-start dllproc - start\n",
        "PY: procInRect()-done dllproc - 1\n",
        "PX:checkProcRC - 1\n",
        "PX:DoProc() - return - 1\n",
        "PX:DoUI() - DoProc() returned - 1\n",
        "PX:Continue() - begin\n",
        "PX:setAllRectDec - begin - 0 0 0 0  0\n",
        "PX:setAllRect - limited - 0 0 0 0  1\n",
        "PX-Exit() - ",
    };
    size_t at = 0;
    for (const char* line : expected) {
        const size_t found = text.find(line, at);
        ASSERT_NE(found, std::string::npos) << "missing or out of order: " << line << "\n" << text;
        at = found + std::strlen(line);
    }
}
#endif

}  // namespace
