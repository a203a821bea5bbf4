// The three parameter pages of the filter dialog: Clean, Edges and Texture.
#pragma once

#include "dialog/ParamPageWin.h"
#include "resource.h"

// The rows are listed in record order, the order in which a page exchanges its values; on
// screen (the templates) Clean shows strength, threshold, radius and Edges accent, radius,
// sharpness from top to bottom.

// Clean: strength, radius, threshold.
class CTabPage1 : public CParamPage {
public:
    CTabPage1()
        : CParamPage(IDD_VG_PAGE_CLEAN,
                     {{0, IDC_VG_CLEAN_STRENGTH_SLIDER, IDC_VG_CLEAN_STRENGTH_EDIT},
                      {1, IDC_VG_CLEAN_RADIUS_SLIDER, IDC_VG_CLEAN_RADIUS_EDIT},
                      {2, IDC_VG_CLEAN_THRESHOLD_SLIDER, IDC_VG_CLEAN_THRESHOLD_EDIT}}) {}
};

// Edges: sharpness, radius, accent.
class CTabPage2 : public CParamPage {
public:
    CTabPage2()
        : CParamPage(IDD_VG_PAGE_EDGES,
                     {{3, IDC_VG_EDGE_SHARPNESS_SLIDER, IDC_VG_EDGE_SHARPNESS_EDIT},
                      {4, IDC_VG_EDGE_RADIUS_SLIDER, IDC_VG_EDGE_RADIUS_EDIT},
                      {5, IDC_VG_EDGE_ACCENT_SLIDER, IDC_VG_EDGE_ACCENT_EDIT}}) {}
};

// Texture: strength, boost, size.
class CTabPage3 : public CParamPage {
public:
    CTabPage3()
        : CParamPage(IDD_VG_PAGE_TEXTURE,
                     {{6, IDC_VG_TEXTURE_STRENGTH_SLIDER, IDC_VG_TEXTURE_STRENGTH_EDIT},
                      {7, IDC_VG_TEXTURE_BOOST_SLIDER, IDC_VG_TEXTURE_BOOST_EDIT},
                      {8, IDC_VG_TEXTURE_SIZE_SLIDER, IDC_VG_TEXTURE_SIZE_EDIT}}) {}
};
