// CParamPage: one parameter tab of the filter dialog, three rows of a slider and its number
// box, each row bound to one field of the parameter record.
#pragma once

#include "LinkSliderWin.h"
#include "PPToolTipWin.h"
#include "SmartEditWin.h"
#include "TabPageSSLWin.h"

class MyMFCDialog;

// One row: the record field and the row's controls on the page's template.
struct ParamRow {
    int paramIndex;  // into FilterParams (record order)
    UINT sliderId;
    UINT editId;
};

// The rows' values pass through float precision between the record and the page. A page
// stores its values into the record only when a slider drag or keyboard scroll ends or one of
// its number boxes loses the focus; typing or dragging alone changes nothing.
class CParamPage : public CTabPageSSL {
public:
    static constexpr int kRows = 3;

    CParamPage(UINT templateId, const ParamRow (&rows)[kRows]);

    // Copies the page's three fields from the record into the rows and shows them; with
    // init, first links each number box to its slider with the row's range and format.
    void LoadFromParams(bool init);
    // Reads the three number boxes (a text that is not a number is reported and stops
    // there) and stores the rows' values into the record.
    void ApplyPage();
    // Sets the rows to their default values, shows them and stores them.
    void ResetPage();

    // Gives each row's help text to its slider and number box (on), or removes them.
    void SetPopupHelp(bool on);

    // Whether the window is one of this page's number boxes.
    bool IsRowEdit(HWND window) const;
    float RowValue(int row) const { return m_value[row]; }

    BOOL OnInitDialog() override;
    BOOL PreTranslateMessage(MSG* pMsg) override;

    MyMFCDialog* m_pDialog = nullptr;  // borrowed; set before the page is created
    CPPToolTip m_tooltip;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnCommand(WPARAM wParam, LPARAM lParam) override;
    void OnHScroll(UINT code, UINT pos, CWnd* scrollBar);
    DECLARE_MESSAGE_MAP()

private:
    // After a store: the dialog filters and repaints its preview.
    void Refilter();

    ParamRow m_rows[kRows];
    CSmartEdit m_edit[kRows];
    CLinkSlider m_slider[kRows];
    float m_value[kRows] = {0, 0, 0};
};
