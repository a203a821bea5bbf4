// Resource ids of the plug-in module.
#pragma once

// Property list ("PIPL") and terminology ("AETE") by which hosts find the filter.
#define IDR_PIPL 16000
#define IDR_AETE 16000

// Common-controls v6 manifest of the module's own windows.
#define IDR_MANIFEST 2

// Product version, also the module's file version.
#define VG_VERSION_MAJOR 2
#define VG_VERSION_MINOR 1
#define VG_VERSION_PATCH 0
#define VG_VERSION_TEXT "2.1.0"

// Popup help texts of the dialog's controls and of the parameter pages' rows.
#define IDS_TIP_RESET_ALL 1013
#define IDS_TIP_TAB 1014
#define IDS_TIP_ZOOM_IN 1015
#define IDS_TIP_ZOOM_OUT 1016
#define IDS_TIP_OK 1018
#define IDS_TIP_CANCEL 1019
#define IDS_TIP_VIEW_ORIGINAL 1020
#define IDS_TIP_FIT 1025
#define IDS_TIP_ZOOM_100 1026
#define IDS_TIP_SNAP1 1029
#define IDS_TIP_RECALL1 1030
#define IDS_TIP_RECALL2 1031
#define IDS_TIP_RESET_TAB 1032
#define IDS_TIP_PRESET_MENU 1035
#define IDS_TIP_MENU 1036
#define IDS_TIP_PRESET_LIST 1037
#define IDS_TIP_REFRESH 1039
#define IDS_TIP_CLEAN_STRENGTH 1057
#define IDS_TIP_CLEAN_RADIUS 1058
#define IDS_TIP_CLEAN_THRESHOLD 1059
#define IDS_TIP_EDGE_ACCENT 1060
#define IDS_TIP_EDGE_RADIUS 1061
#define IDS_TIP_EDGE_SHARPNESS 1062
#define IDS_TIP_TEXTURE_STRENGTH 1063
#define IDS_TIP_TEXTURE_BOOST 1064
#define IDS_TIP_TEXTURE_SIZE 1065
#define IDS_TIP_SNAP2 3024
