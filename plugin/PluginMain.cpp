// The module's one export and its application object.
#include "MFCPlugInApp.h"

namespace {

CMFCPlugInApp theApp;

}  // namespace

extern "C" __declspec(dllexport) void PluginMain(int16_t selector, void* paramBlock, intptr_t* data,
                                                 int16_t* result) {
    theApp.Main(selector, paramBlock, data, result);
}
