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
