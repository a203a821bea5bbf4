// The plug-in's application object: the host's record of the current call, the parameter
// record, the engine library and every operation the host selectors, the dialog and the
// preset code run on the host's image.
#pragma once

#include "Handle.h"
#include "WinApp.h"
#include "plugin/BlockPool.h"
#include "plugin/FilterParams.h"
#include "plugin/HostRect.h"
#include "sdk/PluginInterface.h"

#include <cstdint>
#include <memory>

class MyMFCDialog;

// Destroys the filter dialog; defined where the dialog's type is known.
struct MyMFCDialogDeleter {
    void operator()(MyMFCDialog* dialog) const;
};

// One static instance lives as long as the module. Between calls it keeps the engine
// library and the flags; the parameter values live in the host handle kept in the host's
// data word. `filterRecord`, `dataSlot` and `params` are valid only during a host call.
class CMFCPlugInApp : public CWinApp {
public:
    CMFCPlugInApp();
    ~CMFCPlugInApp() override;
    BOOL InitInstance() override;

    // The application object of this module.
    static CMFCPlugInApp& Get();

    // The entry point's body: runs one selector and turns every failure into `*result`.
    void Main(int16_t selector, void* paramBlock, intptr_t* data, int16_t* result) noexcept;

    // Parameters and scripting.
    void Parameters();
    void setParams(const FilterParams* source);
    void copyParams(const FilterParams* source, FilterParams* destination);
    int16_t ReadScriptParameters(bool& showDialog);
    int16_t WriteScriptParameters();
    // New random values for one tab (0 Clean, 1 Edges, 2 Texture) or all (3 or more).
    void Randomize(int group);
    // The settings report of the parameter record, written into settingsBuffer.
    const char* BuildSettingsText();

    // Host image access; rectangles are top, bottom, left, right.
    void getFilterRect(int& top, int& bottom, int& left, int& right);
    void getInRect(int& top, int& bottom, int& left, int& right);
    int getInWidth();
    int getInHeight();
    bool hostSupportsSampling();
    int getInDec();
    void setAllRect(int top, int bottom, int left, int right, int step);
    void getRectImage();
    int getThumbMaxDec(int width, int height, int scale);
    int getInRectForThumb(int width, int height, int scale, int step, int centreX, int centreY);
    // Writes the current in rectangle as bottom-up 24-bit rows into `destination`, which
    // holds at least maxRows rows of `stride` bytes.
    int copyOutRect(unsigned char* destination, int stride, int maxColumns, int maxRows,
                    bool fromOutput);

    // Engine bridge.
    void loadDLL();
    void freeDLL();
    // Filters the in rectangle into the out rectangle: 1 completed, 0 cancelled.
    int procInRect(bool withProgress);
    int checkProcRC(int code);

    // The run.
    void Prepare();
    void Start();
    void DoPreProc();
    void DoUI();
    int DoProc();
    void Continue();
    void Finish();

    // Engine memory callbacks' bookkeeping: blocks served from the plug-in's own heap, whose
    // given-back blocks are kept for the engine's next call until the host call ends.
    void* AllocOwnBlock(uint32_t size);
    bool FreeOwnBlock(void* block);
    size_t OwnBlockCount() const { return m_ownHeap.BlocksInUse(); }
    size_t OwnBlocksKept() const { return m_ownHeap.BlocksKept(); }

    ps::FilterRecord* filterRecord = nullptr;
    intptr_t* dataSlot = nullptr;
    FilterParams* params = nullptr;
    FilterParams savedParams{};
    FilterParams thumbParams{};
    std::unique_ptr<char[]> settingsBuffer;
    bool rectLock = false;
    bool fetchLock = false;
    int32_t showDialogDefault = 0;
    std::unique_ptr<MyMFCDialog, MyMFCDialogDeleter> dialog;
    CModuleHandle engineModule;

private:
    void Entry(int16_t selector, void* paramBlock, intptr_t* data);
    void Exit();
    void Dispatch(int16_t selector);
    void About();
    void HandleFailure(int16_t* result) noexcept;
    void DestroyDialog() noexcept;

    intptr_t DataWord() const;
    ps::HandleProcs* HostHandleProcs() const;
    ps::BigDocumentStruct* BigDocument() const;
    Rect32 FilterRect() const;
    Rect32 InRect() const;
    void SetInOutRect(const Rect32& rect);
    void RequireImageMode() const;
    // procInRect's body under its guard: copies in to out and calls the engine; returns
    // the engine's raw result.
    int32_t CallEngine(bool withProgress);
    // Runs the modal filter dialog on the parameter block; returns its result (1 = OK).
    int RunDialog();

    bool m_aboutCall = false;    // the current call carries an AboutRecord
    bool m_backupValid = false;  // savedParams was taken by this run's Prepare
    CBlockPool m_ownHeap;
};

// Engine callbacks; `context` is the filter record the engine was given.
int32_t progProc(int32_t done, int32_t total, void* context);
void* psMemAlloc(uint32_t size, void* context);
void psMemFree(void* block, void* context);
