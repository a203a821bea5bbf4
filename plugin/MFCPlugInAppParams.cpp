// The parameter record in its host handle, and its scripting descriptor.
#include "MFCPlugInApp.h"

#include "plugin/PluginFailure.h"
#include "plugin/TraceLog.h"

#include <ctime>

void CMFCPlugInApp::Parameters() {
    WriteTrace("PX-Parameters() - begin imageMode", int32_t(filterRecord->imageMode));
    RequireImageMode();
    if (DataWord() != 0)
        return;
    ps::HandleProcs* procs = HostHandleProcs();
    ps::Handle handle =
        procs && procs->newProc ? procs->newProc(int32_t(sizeof(FilterParams))) : nullptr;
    if (!handle)
        FailMessage("No handle created in CMFCPlugInApp::Parameters");
    ps::Ptr data = procs->lockProc ? procs->lockProc(handle, 1) : nullptr;
    if (!data) {
        if (procs->disposeProc)
            procs->disposeProc(handle);
        FailMessage("No pointer to data in CMFCPlugInApp::Parameters");
    }
    params = reinterpret_cast<FilterParams*>(data);
    *dataSlot = reinterpret_cast<intptr_t>(handle);
    *params = DefaultParams();
    WriteTrace("PX-Parameters()", "Default param set");
}

void CMFCPlugInApp::setParams(const FilterParams* source) {
    WriteTrace("PX:setParams()", static_cast<const void*>(source));
    if (source && params)
        *params = *source;
}

void CMFCPlugInApp::copyParams(const FilterParams* source, FilterParams* destination) {
    WriteTrace("PX:copyParams()", static_cast<const void*>(source));
    if (source && destination)
        *destination = *source;
}

int16_t CMFCPlugInApp::ReadScriptParameters(bool& showDialog) {
    WriteTrace("PX:ReadScriptParameters()", "begin");
    showDialog = showDialogDefault != 0;
    ps::PIDescriptorParameters* desc = filterRecord->descriptorParameters;
    if (!desc) {
        WriteTrace("PX:ReadScriptParameters()", "return descParams == NULL");
        return 0;
    }
    ps::ReadDescriptorProcs* procs = desc->readDescriptorProcs;
    if (!procs || !procs->openReadDescriptorProc || !procs->closeReadDescriptorProc ||
        !procs->getKeyProc || !procs->getFloatProc) {
        WriteTrace("PX:ReadScriptParameters()", "return readProcs == NULL");
        return 0;
    }
    int16_t error = 0;
    if (desc->descriptor) {
        WriteTrace("PY:ReadScriptParameters()", "Reading param...");
        ps::DescriptorKeyID expected[] = {FourCC("CIT_"), 0};
        ps::PIReadDescriptor reader = procs->openReadDescriptorProc(desc->descriptor, expected);
        if (reader) {
            ps::DescriptorKeyID key = 0;
            ps::DescriptorTypeID type = 0;
            int32_t flags = 0;
            while (error == 0 && procs->getKeyProc(reader, &key, &type, &flags)) {
                const int index = ParamIndexForKey(key);
                if (index < 0) {
                    error = kReadErr;
                    break;
                }
                double value = 0;
                error = procs->getFloatProc(reader, &value);
                if (error == 0 && params)
                    SetParam(*params, index, value);
            }
            error = procs->closeReadDescriptorProc(reader);
            ps::HandleProcs* handles = HostHandleProcs();
            if (handles && handles->disposeProc)
                handles->disposeProc(desc->descriptor);
            desc->descriptor = nullptr;
        }
        showDialog = desc->playInfo == ps::plugInDialogDisplay;
    }
    WriteTrace("PX:ReadScriptParameters() - return", int32_t(error));
    return error;
}

int16_t CMFCPlugInApp::WriteScriptParameters() {
    WriteTrace("PY:WriteScriptParameters()", "begin");
    ps::PIDescriptorParameters* desc = filterRecord->descriptorParameters;
    ps::WriteDescriptorProcs* procs = desc ? desc->writeDescriptorProcs : nullptr;
    if (!procs || !procs->openWriteDescriptorProc || !procs->closeWriteDescriptorProc ||
        !procs->putFloatProc || !params)
        return 0;
    ps::PIWriteDescriptor writer = procs->openWriteDescriptorProc();
    if (!writer)
        return kErrMissingParameter;
    for (int i = 0; i < kParamCount; ++i) {
        const double value = GetParam(*params, i);
        procs->putFloatProc(writer, ParamInfoAt(i).key, &value);
    }
    ps::PIDescriptorHandle written = nullptr;
    const int16_t error = procs->closeWriteDescriptorProc(writer, &written);
    ps::HandleProcs* handles = HostHandleProcs();
    if (error != 0) {
        // The recorded descriptor stays as it was; a partial new one is not kept.
        if (written && handles && handles->disposeProc)
            handles->disposeProc(written);
        return error;
    }
    if (desc->descriptor && handles && handles->disposeProc)
        handles->disposeProc(desc->descriptor);
    desc->recordInfo = ps::plugInDialogOptional;
    desc->descriptor = written;
    WriteTrace("PY:WriteScriptParameters()", "written");
    return 0;
}

void CMFCPlugInApp::Randomize(int group) {
    if (params)
        RandomizeParams(*params, group, unsigned(std::time(nullptr)));
}
