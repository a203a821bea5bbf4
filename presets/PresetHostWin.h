// CPresetHost: what the preset list and its commands need from the dialog that shows them.
#pragma once

#include <windows.h>

#include <cstdint>

#include "presets/PresetFile.h"

class CPresetHost {
public:
    // The preview's client rectangle; false when the preview cannot be used.
    virtual bool getProxyRect(RECT& rect) = 0;
    // The preview's magnification and the image point shown at its top-left.
    virtual void GetPreviewPlacement(double& zoom, int32_t& originX, int32_t& originY) = 0;
    // Sets the pages' rows to the values (shown in their boxes) and lets every page store
    // its rows into the parameter record.
    virtual void SetPresetRows(const PresetValues& values) = 0;
    // The pages' row values, in record order.
    virtual PresetValues GetPresetRows() = 0;
    // Copies the parameter record into the pages.
    virtual void RefreshPages() = 0;
    // Filters the preview region again; repaints the preview.
    virtual int procForProxy() = 0;
    virtual void displayProxy(bool erase) = 0;
    // Pushes the dialog's and its pages' members into their controls.
    virtual void PushAll() = 0;

protected:
    ~CPresetHost() = default;
};
