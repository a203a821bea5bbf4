// CPresetPanel: the preset list of the filter dialog, shown as names or as thumbnails of the
// previewed region filtered with each preset, and the preset menu's commands.
#pragma once

#include <windows.h>
#include <commctrl.h>

#include <string>

#include "ImageList.h"
#include "ListCtrl.h"
#include "presets/PresetHostWin.h"
#include "presets/PresetStore.h"

// Borrows the dialog (as its host), the preset store and the list control; owns the
// thumbnail image list. The list shows the store's entries in list order, item i being entry
// i; only the item last applied carries the "***" decoration, until the next fill.
class CPresetPanel {
public:
    CPresetPanel(CPresetHost& host, CPresetStore& store, CListCtrl& list);
    CPresetPanel(const CPresetPanel&) = delete;
    CPresetPanel& operator=(const CPresetPanel&) = delete;

    // Once the list control exists: border-select style, the "Preset" column, the thumbnail
    // image list, no selection, and the largest thumbnail step for the image.
    void SetUpList();
    // Takes the image list back from the list control before either is destroyed.
    void ReleaseList();

    // Fills the list: names in list view; in thumbnail view also one engine run per preset
    // on a coarse sample of the previewed region, with the user's parameters and the host's
    // request put back afterwards. Returns the number of listed presets (0 when the preview
    // cannot be used, and the list is then left as it was).
    int loadThumbNails();
    // Applies listed preset `index` to the pages (and the record); with apply, the preview
    // is filtered again. False for an index that is not listed.
    bool readPreset(int index, bool apply);
    // The list's item-changed notification: an item that becomes selected is marked and
    // its preset applied.
    void OnItemChanged(const NMLISTVIEW& change);

    // The preset menu's commands.
    void Save();
    void Delete();
    void Import();
    void ImportFromInternet();
    void Export();

    bool m_listView = false;    // plain list of names rather than thumbnails
    int m_selectedPreset = -1;  // list index of the preset last applied by a click, or -1
    int m_thumbMaxDec = 1;      // largest sampling step of a thumbnail

private:
    // After the folder's content changed: rescan, refill and push the dialog's values. The
    // applied preset keeps its mark in m_selectedPreset under its new index (or -1 when it
    // is no longer listed).
    void RefreshAfterChange();
    // Renders the thumbnail of the host's current output into image i.
    void StoreThumbnail(int index, const unsigned char* pixels, int width, int height);
    // Lets the list paint once (off screen) now that it holds items.
    void PaintOnceWithItems();

    CPresetHost& m_host;
    CPresetStore& m_store;
    CListCtrl& m_list;
    CImageList m_thumbnails;
    bool m_paintedWithItems = false;
};
