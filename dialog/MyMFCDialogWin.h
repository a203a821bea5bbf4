// MyMFCDialog: the modal filter dialog. It edits the host's parameter record in place while
// the user works, shows a filtered preview of part of the image and an overview of the whole,
// three parameter pages, the preset list and two popup menus.
#pragma once

#include <string>

#include "CmdUI.h"
#include "DibSection.h"
#include "Handle.h"
#include "ListCtrlNoHSWin.h"
#include "MenuButtonWin.h"
#include "PPToolTipWin.h"
#include "ResizableDialogWin.h"
#include "TabCtrlSSLWin.h"
#include "UpDownButtonWin.h"
#include "dialog/NavWndWin.h"
#include "dialog/PreviewWndWin.h"
#include "dialog/TabPagesWin.h"
#include "plugin/FilterParams.h"
#include "presets/PresetPanelWin.h"
#include "presets/PresetStore.h"
#include "sdk/PluginInterface.h"

// Borrows the host's filter record and the parameter record for one run (set before DoModal);
// owns its pages, controls, the preset store, the icon and the accelerator table. Returns IDOK
// or IDCANCEL. Preview work does nothing until OnInitDialog makes the dialog ready. A failure
// in any handler ends the dialog and comes out of DoModal (the framework's modal loop).
class MyMFCDialog : public CResizableDialog, public CPreviewHost, public CPresetHost {
public:
    // A stored parameter set of the snapshot commands.
    struct Snapshot {
        bool valid = false;
        FilterParams params{};
    };

    // Loads the preferences and the installation folder (with their messages) and scans the
    // preset folder when there is one.
    MyMFCDialog();
    // Saves the preferences first.
    ~MyMFCDialog() override;

    ps::FilterRecord* m_pFilterRecord = nullptr;
    FilterParams* m_pParams = nullptr;

    // The preview (its client rectangle, zoom, host request, engine run and repaint).
    bool getProxyRect(RECT& rect) override;
    double getFitZoom();
    void setZoom(double zoom, bool centre);
    void SetupFilterRecordForProxy();
    int procForProxy() override;
    void displayProxy(bool erase) override;
    // Paints the preview area into `dc` (the preview window's paint).
    void PaintPreview(CPaintDC& dc);

    void UpdateButtons();
    // Copies the record into the three pages.
    void RefreshPages() override;
    // Pushes the member values into the pages' and then the dialog's controls.
    void PushAll() override { UpdateData(FALSE); }
    // Replaces the tools of the dialog's and the pages' tooltips (on) or removes them all.
    void SetPopupHelp(bool on);
    // The preset list (names or thumbnails) and applying a listed preset.
    int loadThumbNails() { return m_presetPanel.loadThumbNails(); }
    bool readPreset(int index, bool apply) { return m_presetPanel.readPreset(index, apply); }
    // What the preset list needs of the dialog.
    void GetPreviewPlacement(double& zoom, int32_t& originX, int32_t& originY) override;
    void SetPresetRows(const PresetValues& values) override;
    PresetValues GetPresetRows() override;
    // The four preferences in the user's part of the registry.
    void LoadPreferences();
    void SavePreferences();

    // The keyboard handling shared by the dialog and its pages: accelerators, the space bar
    // (show the unfiltered image while it is down) and the tooltip relay. TRUE: consumed.
    BOOL PreTranslateShared(MSG* pMsg);
    // Set once OK or Cancel ended the dialog: pages then store nothing more.
    bool IsClosing() const { return m_closing; }

    // State (names as the design has them).
    int32_t m_originX = 0;
    int32_t m_originY = 0;
    CPoint m_lastPoint{-1, -1};
    int32_t m_dragMode = 0;  // 0 none, 1 preview, 2 navigator
    UINT_PTR m_settleTimer = 0;
    bool m_procBusy = false;
    bool m_setupLock = false;
    bool m_moveLock = false;
    Snapshot m_snapshot1;
    Snapshot m_snapshot2;
    bool m_ready = false;
    int m_zoomPercent = 100;
    double m_zoom = 1.0;
    std::string m_previewModeText = "Normal";
    bool m_panFaster = false;
    bool m_popupHelp = true;
    int32_t m_skin = 1;
    int m_lastTab = 0;

    // Members, created in this order and destroyed in reverse.
    CPPToolTip m_tooltip;
    CPresetStore m_presets;
    bool m_presetsSet = false;  // the store was set up on the installation's preset folder
    CListCtrlNoHS m_presetList;
    std::string m_etcFolder;
    std::string m_guidePath;
    CTabCtrlSSL m_tab;
    CTabPage1 m_page1;
    CTabPage2 m_page2;
    CTabPage3 m_page3;
    CUpDownButton m_showOriginal;
    // The list's view (m_listView, a preference), the applied preset (m_selectedPreset), the
    // thumbnails' largest step (m_thumbMaxDec) and their image list.
    CPresetPanel m_presetPanel{*this, m_presets, m_presetList};
    CNavWnd m_nav;
    CMenuButton m_menuButton;
    CMenuButton m_presetButton;
    CPreviewWnd m_preview;

protected:
    BOOL OnNotify(WPARAM wParam, LPARAM lParam, LRESULT* pResult) override;
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL PreTranslateMessage(MSG* pMsg) override;
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;

    void OnLButtonDown(UINT flags, CPoint point);
    void OnMouseMove(UINT flags, CPoint point);
    void OnLButtonUp(UINT flags, CPoint point);
    void OnCaptureChanged(CWnd* newCapture);
    void OnSize(UINT type, int cx, int cy);
    void OnTimer(UINT_PTR id);
    void OnDestroy();

    void OnZoomOut();
    void OnZoomIn();
    void OnZoomFit();
    void OnZoom100();
    void OnResetAll();
    void OnResetTab();
    void OnSnap1() { TakeSnapshot(m_snapshot1); }
    void OnSnap2() { TakeSnapshot(m_snapshot2); }
    void OnRecall1() { Recall(m_snapshot1); }
    void OnRecall2() { Recall(m_snapshot2); }
    void OnRefresh();
    void OnPreferences();
    void OnCheckUpdate();
    void OnUsersGuide();
    void OnTechSupport();
    void OnOnlineResource();
    void OnAbout();
    void OnCopySettings();
    void OnLucky();
    void OnVeryLucky();
    void OnToggleView();
    void OnPresetSave() { m_presetPanel.Save(); }
    void OnPresetDelete() { m_presetPanel.Delete(); }
    void OnPresetImport() { m_presetPanel.Import(); }
    void OnPresetImportUrl() { m_presetPanel.ImportFromInternet(); }
    void OnPresetExport() { m_presetPanel.Export(); }
    DECLARE_MESSAGE_MAP()

private:
    // The preview and the navigator, with the dialog's point mapped into them.
    bool InPreview(CPoint dialogPoint, CPoint& local);
    bool InNavigator(CPoint dialogPoint, CPoint& local);
    // Pulls the controls' values before a zoom command.
    void PullAll() { UpdateData(TRUE); }
    // Push all, filter the preview and repaint it.
    void Refresh();
    // The zoom commands' common end: request, filter, repaint.
    void ShowZoomed(bool erase);
    void EndDrag();
    // "Refresh" is there for the thumbnails only.
    void EnableRefresh();
    void TakeSnapshot(Snapshot& snapshot);
    void Recall(const Snapshot& snapshot);
    CParamPage* PageAt(int index);
    // Hands a message to the dialog's tooltip and to each page's tooltip that has not seen it
    // on its way through that page.
    void RelayToTips(const MSG* pMsg);
    void LoadEmblem();

    CIconHandle m_iconBig;
    CIconHandle m_iconSmall;
    CAccelHandle m_accelerators;
    CDibSection m_emblem;
    bool m_closing = false;
};
