// Dialog data exchange: the framework's number forms, its messages and stopping at a failure.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "Dialog.h"
#include "FrameworkTest.h"
#include "WinApp.h"

namespace {

class CValuesDialog : public CDialog {
public:
    CValuesDialog() : CDialog(IDD_FW_TEST) {}
    float first = 0.5f;
    double second = 1234567.0;
    int third = 7;

protected:
    void DoDataExchange(CDataExchange* pDX) override {
        DDX_Text(pDX, IDC_FW_EDIT1, first);
        DDX_Text(pDX, IDC_FW_EDIT2, second);
        DDX_Text(pDX, IDC_FW_EDIT3, third);
    }
};

struct Shown {
    std::string text;
    std::string caption;
    UINT type;
};

class FrameworkDataExchange : public ::testing::Test {
protected:
    void SetUp() override {
        AfxSetMessageBoxHook([this](const char* text, const char* caption, UINT type) {
            shown.push_back({text, caption, type});
            return IDOK;
        });
        ASSERT_TRUE(dlg.Create(IDD_FW_TEST));
    }
    void TearDown() override { AfxSetMessageBoxHook(nullptr); }
    std::string Text(int id) { return dlg.GetDlgItemText(id); }

    CValuesDialog dlg;
    std::vector<Shown> shown;
};

}  // namespace

TEST_F(FrameworkDataExchange, PushWritesGeneralFormWithSixOrFifteenDigits) {
    EXPECT_EQ(Text(IDC_FW_EDIT1), "0.5");
    EXPECT_EQ(Text(IDC_FW_EDIT2), "1234567");
    EXPECT_EQ(Text(IDC_FW_EDIT3), "7");
    dlg.first = 1234567.0f;
    dlg.second = 0.1;
    dlg.UpdateData(FALSE);
    EXPECT_EQ(Text(IDC_FW_EDIT1), "1.23457e+06");
    EXPECT_EQ(Text(IDC_FW_EDIT2), "0.1");
}

TEST_F(FrameworkDataExchange, BadNumberShowsMessageAndStopsAtThatControl) {
    dlg.SetDlgItemText(IDC_FW_EDIT1, " 2.25");
    dlg.SetDlgItemText(IDC_FW_EDIT2, "abc");
    dlg.SetDlgItemText(IDC_FW_EDIT3, "99");
    EXPECT_FALSE(dlg.UpdateData(TRUE));
    EXPECT_FLOAT_EQ(dlg.first, 2.25f);  // before the failure: taken
    EXPECT_DOUBLE_EQ(dlg.second, 1234567.0);  // the failing row and those after keep theirs
    EXPECT_EQ(dlg.third, 7);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, "Enter a number.");
    EXPECT_EQ(shown[0].type & MB_ICONMASK, static_cast<UINT>(MB_ICONEXCLAMATION));
    EXPECT_EQ(::GetFocus(), ::GetDlgItem(dlg.m_hWnd, IDC_FW_EDIT2));
}

TEST_F(FrameworkDataExchange, PullReadsLeadingNumberAndRejectsBadIntegers) {
    dlg.SetDlgItemText(IDC_FW_EDIT1, "12abc");  // "%lf" reads the leading number
    dlg.SetDlgItemText(IDC_FW_EDIT2, "-1e-3");
    dlg.SetDlgItemText(IDC_FW_EDIT3, "12x");
    EXPECT_FALSE(dlg.UpdateData(TRUE));
    EXPECT_FLOAT_EQ(dlg.first, 12.0f);
    EXPECT_DOUBLE_EQ(dlg.second, -0.001);
    EXPECT_EQ(dlg.third, 7);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(shown[0].text, "Enter an integer.");
    dlg.SetDlgItemText(IDC_FW_EDIT3, " -42 ");
    EXPECT_TRUE(dlg.UpdateData(TRUE));
    EXPECT_EQ(dlg.third, -42);
    dlg.SetDlgItemText(IDC_FW_EDIT3, "99999999999");
    EXPECT_FALSE(dlg.UpdateData(TRUE));
    EXPECT_EQ(dlg.third, -42);
}

TEST_F(FrameworkDataExchange, InfiniteOrOutOfFloatRangeTextIsNotANumber) {
    // "%lf" reads these, but an infinity or not-a-number would pass on as a value, and a
    // double beyond the float range has no float to become.
    const char* floats[] = {"1e39", "-1e39", "inf", "nan"};
    for (const char* text : floats) {
        shown.clear();
        dlg.SetDlgItemText(IDC_FW_EDIT1, text);
        EXPECT_FALSE(dlg.UpdateData(TRUE)) << text;
        EXPECT_FLOAT_EQ(dlg.first, 0.5f) << text;
        ASSERT_EQ(shown.size(), 1u) << text;
        EXPECT_EQ(shown[0].text, "Enter a number.");
    }
    dlg.SetDlgItemText(IDC_FW_EDIT1, "3e38");
    dlg.SetDlgItemText(IDC_FW_EDIT2, "1e999");
    shown.clear();
    EXPECT_FALSE(dlg.UpdateData(TRUE));
    EXPECT_FLOAT_EQ(dlg.first, 3e38f);  // the largest floats are still taken
    EXPECT_DOUBLE_EQ(dlg.second, 1234567.0);
    ASSERT_EQ(shown.size(), 1u);
    EXPECT_EQ(::GetFocus(), ::GetDlgItem(dlg.m_hWnd, IDC_FW_EDIT2));
}
