// The filter dialog's popup help: which control shows which text, and how the tips look.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "resources/resource.h"

namespace help {

struct Tool {
    int control;
    unsigned text;  // a string of the module's table
};

// The dialog's tools, in the order they are added.
inline constexpr Tool kDialogTools[] = {
    {IDC_VG_PRESET_LIST, IDS_TIP_PRESET_LIST},
    {IDC_VG_PRESET_BUTTON, IDS_TIP_PRESET_MENU},
    {IDC_VG_SNAP1, IDS_TIP_SNAP1},
    {IDC_VG_SNAP2, IDS_TIP_SNAP2},
    {IDC_VG_RECALL1, IDS_TIP_RECALL1},
    {IDC_VG_RECALL2, IDS_TIP_RECALL2},
    {IDC_VG_RESET_TAB, IDS_TIP_RESET_TAB},
    {IDC_VG_RESET_ALL, IDS_TIP_RESET_ALL},
    {IDC_VG_SHOW_ORIGINAL, IDS_TIP_VIEW_ORIGINAL},
    {IDC_VG_TABS, IDS_TIP_TAB},
    {IDC_VG_ZOOM_IN, IDS_TIP_ZOOM_IN},
    {IDC_VG_ZOOM_OUT, IDS_TIP_ZOOM_OUT},
    {IDC_VG_ZOOM_FIT, IDS_TIP_FIT},
    {IDC_VG_ZOOM_100, IDS_TIP_ZOOM_100},
    {1 /* OK */, IDS_TIP_OK},
    {2 /* Cancel */, IDS_TIP_CANCEL},
    {IDC_VG_MENU_BUTTON, IDS_TIP_MENU},
    {IDC_VG_REFRESH, IDS_TIP_REFRESH},
};
inline constexpr size_t kDialogToolCount = sizeof(kDialogTools) / sizeof(kDialogTools[0]);

// The text of each parameter (record order), shown on its slider and its number box alike.
inline constexpr unsigned kParamTexts[] = {
    IDS_TIP_CLEAN_STRENGTH,   IDS_TIP_CLEAN_RADIUS,  IDS_TIP_CLEAN_THRESHOLD,
    IDS_TIP_EDGE_SHARPNESS,   IDS_TIP_EDGE_RADIUS,   IDS_TIP_EDGE_ACCENT,
    IDS_TIP_TEXTURE_STRENGTH, IDS_TIP_TEXTURE_BOOST, IDS_TIP_TEXTURE_SIZE,
};

// The look and timing of the dialog's and the pages' tips.
struct Look {
    int effect;
    int granularity;
    uint32_t begin;  // colour values, 0x00BBGGRR
    uint32_t middle;
    uint32_t end;
    uint32_t showTime;  // milliseconds
    uint32_t fadeOutStep;
    uint32_t restTime;
};
inline constexpr Look kLook{13, 5, 0xFFD5AA, 0xFFC68C, 0xFF9122, 10000, 30, 750};

// A plain text as tooltip markup: each "<" doubled, so that it shows as written.
std::string Markup(std::string_view text);

}  // namespace help
