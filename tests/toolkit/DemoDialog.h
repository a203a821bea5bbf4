// The demonstration dialog: every toolkit class in one resizable window.
#pragma once

#include <string>

#include "ImageList.h"
#include "LinkSliderWin.h"
#include "ListCtrlNoHSWin.h"
#include "MenuButtonWin.h"
#include "ResizableDialogWin.h"
#include "SmartEditWin.h"
#include "TabCtrlSSLWin.h"
#include "ToolkitDemo.h"
#include "UpDownButtonWin.h"

// Two rows of a linked slider and edit box, each with a real range and a display format.
class CDemoPage : public CTabPageSSL {
public:
    struct Row {
        double min;
        double max;
        const char* format;
        float value;
    };
    CDemoPage(UINT templateId, Row first, Row second);

    CSmartEdit m_edit[2];
    CLinkSlider m_slider[2];
    Row m_rows[2];

    BOOL OnInitDialog() override;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
};

class CDemoDialog : public CResizableDialog, public CPreviewHost {
public:
    explicit CDemoDialog(std::string placementKey = std::string());

    void displayProxy(bool erase) override { ++m_repaints; }

    CTabCtrlSSL m_tab;
    CDemoPage m_page1;
    CDemoPage m_page2;
    CListCtrlNoHS m_list;
    CImageList m_images;
    CMenuButton m_menuButton;
    CUpDownButton m_upDown;
    std::string m_placementKey;
    int m_repaints = 0;
    int m_menuCommands = 0;

    BOOL OnInitDialog() override;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    void OnMenuFirst() { ++m_menuCommands; }
    void OnDestroy();
    DECLARE_MESSAGE_MAP()
};
