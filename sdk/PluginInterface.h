// Binary interface between a filter plug-in (.8bf) and its host on 64-bit Windows: records,
// callback suites, selectors, modes and error codes. Portable (fixed-width types only, no
// windows.h) so host and plug-in logic also build natively. Include as "sdk/PluginInterface.h".
//
// Packing: FilterRecord and BigDocumentStruct use 4-byte maximum alignment (what hosts built
// with MSVC pack(4) lay out, also on Win64); every other structure uses natural alignment.
#pragma once

#include <cstddef>
#include <cstdint>

static_assert(sizeof(void*) == 8, "the plug-in interface is laid out for 64-bit targets");

namespace ps {

// ---- Base types ---------------------------------------------------------------------------

using int8 = int8_t;
using int16 = int16_t;
using int32 = int32_t;
using int64 = int64_t;
using uint8 = uint8_t;
using uint16 = uint16_t;
using uint32 = uint32_t;
using uint64 = uint64_t;
using unsigned8 = uint8_t;
using unsigned16 = uint16_t;
using unsigned32 = uint32_t;
using unsigned64 = uint64_t;
using real32 = float;
using real64 = double;

using Boolean = uint8_t;    // 0 = false
using SPBoolean = int32_t;  // BOOL-like, return of SPBasicSuite::IsEqual
using OSErr = int16_t;
using SPErr = int32_t;
using OSType = uint32_t;  // four-char code, first character in the most significant byte
using ResType = uint32_t;
using PIType = uint32_t;
using DescriptorKeyID = uint32_t;
using DescriptorTypeID = uint32_t;
using DescriptorUnitID = uint32_t;
using DescriptorEnumID = uint32_t;
using DescriptorEnumTypeID = uint32_t;
using DescriptorClassID = uint32_t;
using DescriptorEventID = uint32_t;
using Fixed = int32_t;  // 16.16 fixed point

using Ptr = char*;
using Handle = char**;  // opaque host handle: only handleProcs may size, lock or free it
using Str255 = unsigned char[256];  // Pascal string: length byte, then the characters
using FilterColor = unsigned char[4];
using PlaneMap = int16_t[16];

struct Point {
    int16 v;
    int16 h;
};
struct Rect {  // half-open: bottom and right are exclusive
    int16 top;
    int16 left;
    int16 bottom;
    int16 right;
};
struct VPoint {
    int32 v;
    int32 h;
};
struct VRect {
    int32 top;
    int32 left;
    int32 bottom;
    int32 right;
};
struct PSRGBColor {
    uint16 red;
    uint16 green;
    uint16 blue;
};
struct PlatformData {
    intptr_t hwnd;  // parent window for the plug-in's dialogs
};
struct PlugInMonitor {
    Fixed gamma, redX, redY, greenX, greenY, blueX, blueY, whiteX, whiteY, ambient;
};

constexpr Fixed kFixedOne = 0x00010000;

// Four-char code of a four-character literal: FourCC("8BIM") == 0x3842494D.
constexpr uint32_t FourCC(const char (&s)[5]) {
    return (uint32_t(uint8_t(s[0])) << 24) | (uint32_t(uint8_t(s[1])) << 16) |
           (uint32_t(uint8_t(s[2])) << 8) | uint32_t(uint8_t(s[3]));
}

// The four characters of a code, most significant first, into out[0..3], NUL at out[4].
inline void FourCCChars(uint32_t code, char out[5]) {
    out[0] = char(code >> 24);
    out[1] = char(code >> 16);
    out[2] = char(code >> 8);
    out[3] = char(code);
    out[4] = 0;
}

// ---- Opaque types the record only points to -----------------------------------------------

struct BufferOpaque;
using BufferID = BufferOpaque*;
struct PIReadDescriptorOpaque;
using PIReadDescriptor = PIReadDescriptorOpaque*;
struct PIWriteDescriptorOpaque;
using PIWriteDescriptor = PIWriteDescriptorOpaque*;
using PIDescriptorHandle = Handle;
struct PIDescriptorSimpleReference;
struct ColorServicesInfo;
struct ImageServicesProcs;
struct ChannelPortProcs;
struct ReadImageDocumentDesc;
struct PSPixelOverlay;
struct PSPixelMap;
struct FilterRecord;

// ---- Callbacks (the x64 calling convention is the only one; exact return types matter) ----

using TestAbortProc = Boolean (*)();
using ProgressProc = void (*)(int32 done, int32 total);
using HostProc = void (*)(int16 selector, intptr_t* data);
using ProcessEventProc = void (*)(void* event);
// platformContext is the target HDC on Windows; (dstRow, dstCol) receives srcRect's top-left.
using DisplayPixelsProc = OSErr (*)(const PSPixelMap* source, const VRect* srcRect, int32 dstRow,
                                    int32 dstCol, void* platformContext);
using AdvanceStateProc = OSErr (*)();
using ColorServicesProc = OSErr (*)(ColorServicesInfo* info);
using GetPropertyProc = OSErr (*)(PIType signature, PIType key, int32 index,
                                  intptr_t* simpleProperty, Handle* complexProperty);
using SetPropertyProc = OSErr (*)(PIType signature, PIType key, int32 index,
                                  intptr_t simpleProperty, Handle complexProperty);

// Handle procedures.
using NewPIHandleProc = Handle (*)(int32 size);
using DisposePIHandleProc = void (*)(Handle h);
using GetPIHandleSizeProc = int32 (*)(Handle h);
using SetPIHandleSizeProc = OSErr (*)(Handle h, int32 newSize);
using LockPIHandleProc = Ptr (*)(Handle h, Boolean moveHigh);
using UnlockPIHandleProc = void (*)(Handle h);
using RecoverSpaceProc = void (*)(int32 size);
using DisposeRegularHandleProc = void (*)(Handle h);

// Buffer procedures.
using AllocateBufferProc = OSErr (*)(int32 size, BufferID* bufferID);
using LockBufferProc = Ptr (*)(BufferID bufferID, Boolean moveHigh);
using UnlockBufferProc = void (*)(BufferID bufferID);
using FreeBufferProc = void (*)(BufferID bufferID);
using BufferSpaceProc = int32 (*)();
using ReserveSpaceProc = OSErr (*)(int32 size);
using AllocateBuffer64Proc = OSErr (*)(int64 size, BufferID* bufferID);
using BufferSpace64Proc = int64 (*)();

// Resource procedures.
using CountPIResourcesProc = int16 (*)(ResType type);
using GetPIResourceProc = Handle (*)(ResType type, int16 index);
using DeletePIResourceProc = void (*)(ResType type, int16 index);
using AddPIResourceProc = OSErr (*)(ResType type, Handle data);

// Read-descriptor procedures (R = PIReadDescriptor).
using OpenReadDescriptorProc = PIReadDescriptor (*)(PIDescriptorHandle descriptor,
                                                    DescriptorKeyID keyArray[]);
using CloseReadDescriptorProc = OSErr (*)(PIReadDescriptor reader);
using GetKeyProc = Boolean (*)(PIReadDescriptor reader, DescriptorKeyID* key,
                               DescriptorTypeID* type, int32* flags);
using GetIntegerProc = OSErr (*)(PIReadDescriptor reader, int32* value);
using GetFloatProc = OSErr (*)(PIReadDescriptor reader, real64* value);
using GetUnitFloatProc = OSErr (*)(PIReadDescriptor reader, DescriptorUnitID* unit, real64* value);
using GetBooleanProc = OSErr (*)(PIReadDescriptor reader, Boolean* value);
using GetTextProc = OSErr (*)(PIReadDescriptor reader, Handle* value);
using GetAliasProc = OSErr (*)(PIReadDescriptor reader, Handle* value);
using GetEnumeratedProc = OSErr (*)(PIReadDescriptor reader, DescriptorEnumID* value);
using GetClassProc = OSErr (*)(PIReadDescriptor reader, DescriptorClassID* value);
using GetSimpleReferenceProc = OSErr (*)(PIReadDescriptor reader,
                                         PIDescriptorSimpleReference* value);
using GetObjectProc = OSErr (*)(PIReadDescriptor reader, DescriptorClassID* type,
                                PIDescriptorHandle* value);
using GetCountProc = OSErr (*)(PIReadDescriptor reader, uint32* value);
using GetStringProc = OSErr (*)(PIReadDescriptor reader, Str255* value);
using GetPinnedIntegerProc = OSErr (*)(PIReadDescriptor reader, int32 min, int32 max, int32* value);
using GetPinnedFloatProc = OSErr (*)(PIReadDescriptor reader, const real64* min, const real64* max,
                                     real64* value);
using GetPinnedUnitFloatProc = OSErr (*)(PIReadDescriptor reader, const real64* min,
                                         const real64* max, DescriptorUnitID* unit, real64* value);

// Write-descriptor procedures (W = PIWriteDescriptor).
using OpenWriteDescriptorProc = PIWriteDescriptor (*)();
using CloseWriteDescriptorProc = OSErr (*)(PIWriteDescriptor writer,
                                           PIDescriptorHandle* newDescriptor);
using PutIntegerProc = OSErr (*)(PIWriteDescriptor writer, DescriptorKeyID key, int32 value);
using PutFloatProc = OSErr (*)(PIWriteDescriptor writer, DescriptorKeyID key, const real64* value);
using PutUnitFloatProc = OSErr (*)(PIWriteDescriptor writer, DescriptorKeyID key,
                                   DescriptorUnitID unit, const real64* value);
using PutBooleanProc = OSErr (*)(PIWriteDescriptor writer, DescriptorKeyID key, Boolean value);
using PutTextProc = OSErr (*)(PIWriteDescriptor writer, DescriptorKeyID key, Handle value);
using PutAliasProc = OSErr (*)(PIWriteDescriptor writer, DescriptorKeyID key, Handle value);
using PutEnumeratedProc = OSErr (*)(PIWriteDescriptor writer, DescriptorKeyID key,
                                    DescriptorTypeID type, DescriptorEnumID value);
using PutClassProc = OSErr (*)(PIWriteDescriptor writer, DescriptorKeyID key,
                               DescriptorTypeID type);
using PutSimpleReferenceProc = OSErr (*)(PIWriteDescriptor writer, DescriptorKeyID key,
                                         const PIDescriptorSimpleReference* value);
using PutObjectProc = OSErr (*)(PIWriteDescriptor writer, DescriptorKeyID key,
                                DescriptorTypeID type, PIDescriptorHandle value);
using PutCountProc = OSErr (*)(PIWriteDescriptor writer, DescriptorKeyID key, uint32 count);
using PutStringProc = OSErr (*)(PIWriteDescriptor writer, DescriptorKeyID key,
                                const unsigned char* pascalString);
using PutScopedClassProc = OSErr (*)(PIWriteDescriptor writer, DescriptorKeyID key,
                                     DescriptorTypeID type);
using PutScopedObjectProc = OSErr (*)(PIWriteDescriptor writer, DescriptorKeyID key,
                                      DescriptorTypeID type, PIDescriptorHandle value);

// PICA basic suite.
using SPAcquireSuiteProc = SPErr (*)(const char* name, int32 version, const void** suite);
using SPReleaseSuiteProc = SPErr (*)(const char* name, int32 version);
using SPIsEqualProc = SPBoolean (*)(const char* token1, const char* token2);
using SPAllocateBlockProc = SPErr (*)(size_t size, void** block);
using SPFreeBlockProc = SPErr (*)(void* block);
using SPReallocateBlockProc = SPErr (*)(void* block, size_t newSize, void** newBlock);
using SPUndefinedProc = SPErr (*)();

// Buffer suite.
using PSBufferNewProc = Ptr (*)(unsigned32* requestedSizeInOut, unsigned32 minimumSize);
using PSBufferDisposeProc = void (*)(Ptr* bufferInOut);  // sets *bufferInOut to NULL
using PSBufferGetSizeProc = unsigned32 (*)(Ptr buffer);
using PSBufferGetSpaceProc = unsigned32 (*)();
using PSBufferNew64Proc = Ptr (*)(unsigned64* requestedSizeInOut, unsigned64 minimumSize);
using PSBufferGetSize64Proc = unsigned64 (*)(Ptr buffer);
using PSBufferGetSpace64Proc = unsigned64 (*)();

// Entry point exported by every plug-in under the name its PiPL '8664' property gives.
// paramBlock is an AboutRecord* for filterSelectorAbout and a FilterRecord* otherwise.
using PluginMainProc = void (*)(int16 selector, void* paramBlock, intptr_t* data, int16* result);

// ---- Callback suites (natural alignment) -------------------------------------------------

struct HandleProcs {
    int16 handleProcsVersion;
    int16 numHandleProcs;
    NewPIHandleProc newProc;
    DisposePIHandleProc disposeProc;
    GetPIHandleSizeProc getSizeProc;
    SetPIHandleSizeProc setSizeProc;
    LockPIHandleProc lockProc;
    UnlockPIHandleProc unlockProc;  // not reference counted
    RecoverSpaceProc recoverSpaceProc;
    DisposeRegularHandleProc disposeRegularHandleProc;
};

struct BufferProcs {
    int16 bufferProcsVersion;
    int16 numBufferProcs;  // check before using the 64-bit entries
    AllocateBufferProc allocateProc;
    LockBufferProc lockProc;
    UnlockBufferProc unlockProc;
    FreeBufferProc freeProc;
    BufferSpaceProc spaceProc;
    ReserveSpaceProc reserveProc;
    AllocateBuffer64Proc allocateProc64;
    BufferSpace64Proc spaceProc64;
};

struct PropertyProcs {
    int16 propertyProcsVersion;
    int16 numPropertyProcs;
    GetPropertyProc getPropertyProc;
    SetPropertyProc setPropertyProc;
};

struct ResourceProcs {
    int16 resourceProcsVersion;
    int16 numResourceProcs;
    CountPIResourcesProc countProc;
    GetPIResourceProc getProc;
    DeletePIResourceProc deleteProc;
    AddPIResourceProc addProc;
};

struct ReadDescriptorProcs {
    int16 readDescriptorProcsVersion;
    int16 numReadDescriptorProcs;
    OpenReadDescriptorProc openReadDescriptorProc;  // keyArray: 0-terminated; keys read are zeroed
    CloseReadDescriptorProc closeReadDescriptorProc;  // returns the worst error met while reading
    GetKeyProc getKeyProc;                            // FALSE when no keys remain
    GetIntegerProc getIntegerProc;
    GetFloatProc getFloatProc;
    GetUnitFloatProc getUnitFloatProc;
    GetBooleanProc getBooleanProc;
    GetTextProc getTextProc;
    GetAliasProc getAliasProc;
    GetEnumeratedProc getEnumeratedProc;
    GetClassProc getClassProc;
    GetSimpleReferenceProc getSimpleReferenceProc;
    GetObjectProc getObjectProc;
    GetCountProc getCountProc;
    GetStringProc getStringProc;
    GetPinnedIntegerProc getPinnedIntegerProc;
    GetPinnedFloatProc getPinnedFloatProc;
    GetPinnedUnitFloatProc getPinnedUnitFloatProc;
};

struct WriteDescriptorProcs {
    int16 writeDescriptorProcsVersion;
    int16 numWriteDescriptorProcs;
    OpenWriteDescriptorProc openWriteDescriptorProc;  // NULL on failure
    CloseWriteDescriptorProc closeWriteDescriptorProc;
    PutIntegerProc putIntegerProc;
    PutFloatProc putFloatProc;
    PutUnitFloatProc putUnitFloatProc;
    PutBooleanProc putBooleanProc;
    PutTextProc putTextProc;
    PutAliasProc putAliasProc;
    PutEnumeratedProc putEnumeratedProc;
    PutClassProc putClassProc;
    PutSimpleReferenceProc putSimpleReferenceProc;
    PutObjectProc putObjectProc;
    PutCountProc putCountProc;
    PutStringProc putStringProc;
    PutScopedClassProc putScopedClassProc;
    PutScopedObjectProc putScopedObjectProc;
};

struct PIDescriptorParameters {
    int16 descriptorParametersVersion;
    int16 playInfo;                 // plugInDialogDontDisplay / Display / Silent
    int16 recordInfo;               // plugInDialogOptional / Required / None
    PIDescriptorHandle descriptor;  // NULL when nothing was recorded
    WriteDescriptorProcs* writeDescriptorProcs;
    ReadDescriptorProcs* readDescriptorProcs;
};

struct PSPixelMask {
    PSPixelMask* next;
    void* maskData;
    int32 rowBytes;
    int32 colBytes;
    int32 maskDescription;  // kSimplePSMask .. kInvertPSMask
};

struct PSPixelMap {
    int32 version;  // 1; 2 and 3 add the fields marked below
    VRect bounds;
    int32 imageMode;
    int32 rowBytes;
    int32 colBytes;
    int32 planeBytes;
    void* baseAddr;
    PSPixelMask* mat;                   // version 1
    PSPixelMask* masks;                 // version 1
    int32 maskPhaseRow;                 // version 1
    int32 maskPhaseCol;                 // version 1
    PSPixelOverlay* pixelOverlays;      // version 2
    unsigned32 colorManagementOptions;  // version 2
    int16 depth;                        // version 3
};

struct SPBasicSuite {
    SPAcquireSuiteProc AcquireSuite;
    SPReleaseSuiteProc ReleaseSuite;
    SPIsEqualProc IsEqual;
    SPAllocateBlockProc AllocateBlock;
    SPFreeBlockProc FreeBlock;
    SPReallocateBlockProc ReallocateBlock;
    SPUndefinedProc Undefined;
};

struct PSBufferSuite1 {
    PSBufferNewProc New;
    PSBufferDisposeProc Dispose;
    PSBufferGetSizeProc GetSize;
    PSBufferGetSpaceProc GetSpace;
};

struct PSBufferSuite2 {
    PSBufferNewProc New;
    PSBufferDisposeProc Dispose;
    PSBufferGetSizeProc GetSize;
    PSBufferGetSpaceProc GetSpace;
    PSBufferNew64Proc New64;
    PSBufferGetSize64Proc GetSize64;
    PSBufferGetSpace64Proc GetSpace64;
};

// Passed instead of a FilterRecord for filterSelectorAbout.
struct AboutRecord {
    void* platformData;  // PlatformData*
    SPBasicSuite* sSPBasic;
    void* plugInRef;
    char reserved[244];
};

// ---- The filter record (4-byte packing) --------------------------------------------------

#pragma pack(push, 4)

struct BigDocumentStruct {
    int32 PluginUsing32BitCoordinates;  // the plug-in sets non-zero when it uses the fields below
    VPoint imageSize32;
    VRect filterRect32;
    VRect inRect32;
    VRect outRect32;
    VRect maskRect32;
    VPoint floatCoord32;
    VPoint wholeSize32;
};

struct FilterRecord {
    int32 serialNumber;
    TestAbortProc abortProc;
    ProgressProc progressProc;
    Handle parameters;
    Point imageSize;
    int16 planes;
    Rect filterRect;
    PSRGBColor background;
    PSRGBColor foreground;
    int32 maxSpace;
    int32 bufferSpace;
    Rect inRect;
    int16 inLoPlane;
    int16 inHiPlane;
    Rect outRect;
    int16 outLoPlane;
    int16 outHiPlane;
    void* inData;
    int32 inRowBytes;
    void* outData;
    int32 outRowBytes;
    Boolean isFloating;
    Boolean haveMask;
    Boolean autoMask;
    Rect maskRect;
    void* maskData;
    int32 maskRowBytes;
    FilterColor backColor;
    FilterColor foreColor;
    OSType hostSig;
    HostProc hostProc;
    int16 imageMode;
    Fixed imageHRes;
    Fixed imageVRes;
    Point floatCoord;
    Point wholeSize;
    PlugInMonitor monitor;
    void* platformData;  // PlatformData*
    BufferProcs* bufferProcs;
    ResourceProcs* resourceProcs;
    ProcessEventProc processEvent;
    DisplayPixelsProc displayPixels;
    HandleProcs* handleProcs;
    // 3.0
    Boolean supportsDummyChannels;
    Boolean supportsAlternateLayouts;
    int16 wantLayout;
    int16 filterCase;
    int16 dummyPlaneValue;
    void* premiereHook;
    AdvanceStateProc advanceState;
    Boolean supportsAbsolute;
    Boolean wantsAbsolute;
    GetPropertyProc getPropertyObsolete;
    Boolean cannotUndo;
    Boolean supportsPadding;
    int16 inputPadding;
    int16 outputPadding;
    int16 maskPadding;
    char samplingSupport;
    char reservedByte;
    Fixed inputRate;
    Fixed maskRate;
    ColorServicesProc colorServices;
    int16 inLayerPlanes;
    int16 inTransparencyMask;
    int16 inLayerMasks;
    int16 inInvertedLayerMasks;
    int16 inNonLayerPlanes;
    int16 outLayerPlanes;
    int16 outTransparencyMask;
    int16 outLayerMasks;
    int16 outInvertedLayerMasks;
    int16 outNonLayerPlanes;
    int16 absLayerPlanes;
    int16 absTransparencyMask;
    int16 absLayerMasks;
    int16 absInvertedLayerMasks;
    int16 absNonLayerPlanes;
    int16 inPreDummyPlanes;
    int16 inPostDummyPlanes;
    int16 outPreDummyPlanes;
    int16 outPostDummyPlanes;
    int32 inColumnBytes;
    int32 inPlaneBytes;
    int32 outColumnBytes;
    int32 outPlaneBytes;
    // 3.0.4
    ImageServicesProcs* imageServicesProcs;
    PropertyProcs* propertyProcs;
    int16 inTileHeight;
    int16 inTileWidth;
    Point inTileOrigin;
    int16 absTileHeight;
    int16 absTileWidth;
    Point absTileOrigin;
    int16 outTileHeight;
    int16 outTileWidth;
    Point outTileOrigin;
    int16 maskTileHeight;
    int16 maskTileWidth;
    Point maskTileOrigin;
    // 4.0
    PIDescriptorParameters* descriptorParameters;
    Str255* errorString;
    ChannelPortProcs* channelPortProcs;
    ReadImageDocumentDesc* documentInfo;
    // 5.0
    SPBasicSuite* sSPBasic;
    void* plugInRef;
    int32 depth;
    // 6.0
    Handle iCCprofileData;
    int32 iCCprofileSize;
    int32 canUseICCProfiles;
    // 7.0
    int32 hasImageScrap;
    // 8.0
    BigDocumentStruct* bigDocumentData;
    // 10.0
    PIDescriptorParameters* input3DScene;
    PIDescriptorParameters* output3DScene;
    Boolean createNewLayer;
    // 13.0: records of this generation end here (576 bytes with their reserved tail)
    Handle iCCWorkingProfileData;
    int32 iCCWorkingProfileSize;
    // 18.0: only in records of 608 bytes; third-party hosts allocate 552 or 556
    int64 bufferSpace64;
    int64 maxSpace64;
    Boolean allowOverrangeColors;
    char reserved[45];
};

#pragma pack(pop)

// Record sizes different hosts allocate; fields at or past the size are not there.
constexpr int32 kFilterRecordSize = 608;     // current generation
constexpr int32 kFilterRecordSizeCS6 = 576;  // ends with reserved[29] after iCCWorkingProfileSize
constexpr int32 kFilterRecordSize556 = 556;  // ends after canUseICCProfiles + reserved[54]
constexpr int32 kFilterRecordSize552 = 552;  // ends after depth + reserved[66]

// ---- Selectors ----------------------------------------------------------------------------

constexpr int16 filterSelectorAbout = 0;
constexpr int16 filterSelectorParameters = 1;
constexpr int16 filterSelectorPrepare = 2;
constexpr int16 filterSelectorStart = 3;
constexpr int16 filterSelectorContinue = 4;
constexpr int16 filterSelectorFinish = 5;

// ---- Image modes (imageMode, PSPixelMap::imageMode, 'mode' bit index) --------------------

constexpr int16 plugInModeBitmap = 0;
constexpr int16 plugInModeGrayScale = 1;
constexpr int16 plugInModeIndexedColor = 2;
constexpr int16 plugInModeRGBColor = 3;
constexpr int16 plugInModeCMYKColor = 4;
constexpr int16 plugInModeHSLColor = 5;
constexpr int16 plugInModeHSBColor = 6;
constexpr int16 plugInModeMultichannel = 7;
constexpr int16 plugInModeDuotone = 8;
constexpr int16 plugInModeLabColor = 9;
constexpr int16 plugInModeGray16 = 10;
constexpr int16 plugInModeRGB48 = 11;
constexpr int16 plugInModeLab48 = 12;
constexpr int16 plugInModeCMYK64 = 13;
constexpr int16 plugInModeDeepMultichannel = 14;
constexpr int16 plugInModeDuotone16 = 15;
constexpr int16 plugInModeRGB96 = 16;
constexpr int16 plugInModeGray32 = 17;

constexpr int32 kMax16BitSample = 32768;  // 16-bit samples run 0..32768

// ---- Filter cases, padding, sampling, layout ------------------------------------------------

constexpr int16 filterCaseUnsupported = -1;
constexpr int16 filterCaseFlatImageNoSelection = 1;
constexpr int16 filterCaseFlatImageWithSelection = 2;
constexpr int16 filterCaseFloatingSelection = 3;
constexpr int16 filterCaseEditableTransparencyNoSelection = 4;
constexpr int16 filterCaseEditableTransparencyWithSelection = 5;
constexpr int16 filterCaseProtectedTransparencyNoSelection = 6;
constexpr int16 filterCaseProtectedTransparencyWithSelection = 7;

constexpr int16 plugInWantsEdgeReplication = -1;
constexpr int16 plugInDoesNotWantPadding = -2;
constexpr int16 plugInWantsErrorOnBoundsException = -3;

constexpr char hostDoesNotSupportSampling = 0;
constexpr char hostSupportsIntegralSampling = 1;
constexpr char hostSupportsFractionalSampling = 2;

constexpr int16 piLayoutTraditional = 0;

// ---- Scripting ------------------------------------------------------------------------------

constexpr int16 plugInDialogDontDisplay = 0;  // playInfo
constexpr int16 plugInDialogDisplay = 1;
constexpr int16 plugInDialogSilent = 2;
constexpr int16 plugInDialogOptional = 0;  // recordInfo
constexpr int16 plugInDialogRequired = 1;
constexpr int16 plugInDialogNone = 2;

constexpr int32 actionSimpleParameter = 0x00000000;
constexpr int32 actionEnumeratedParameter = 0x00002000;
constexpr int32 actionListParameter = 0x00004000;
constexpr int32 actionOptionalParameter = 0x00008000;
constexpr int32 actionObjectParameter = int32(0x80000000u);
constexpr int32 actionScopedParameter = 0x40000000;
constexpr int32 actionStringIDParameter = 0x20000000;

constexpr DescriptorTypeID typeFloat = FourCC("doub");
constexpr DescriptorTypeID typeInteger = FourCC("long");
constexpr DescriptorTypeID typeBoolean = FourCC("bool");
constexpr DescriptorTypeID typeEnumerated = FourCC("enum");
constexpr DescriptorTypeID typeUnitFloat = FourCC("UntF");
constexpr DescriptorTypeID typeChar = FourCC("TEXT");
constexpr DescriptorTypeID typeClass = FourCC("type");
constexpr DescriptorTypeID typeObject = FourCC("Objc");
constexpr DescriptorTypeID typeObjectReference = FourCC("obj ");
constexpr DescriptorTypeID typeNull = FourCC("null");
constexpr DescriptorTypeID typeImageReference = FourCC("#ImR");

constexpr DescriptorUnitID unitNone = FourCC("#Nne");
constexpr DescriptorUnitID unitPercent = FourCC("#Prc");
constexpr DescriptorUnitID unitPixels = FourCC("#Pxl");
constexpr DescriptorUnitID unitAngle = FourCC("#Ang");
constexpr DescriptorUnitID unitDistance = FourCC("#Rlt");
constexpr DescriptorUnitID unitDensity = FourCC("#Rsl");

// ---- Interface versions and signatures ------------------------------------------------------

constexpr OSType kPhotoshopSignature = FourCC("8BIM");
constexpr OSType kFilterKind = FourCC("8BFM");
constexpr int32 kLatestFilterVersion = 4;
constexpr int32 kLatestFilterSubVersion = 0;
constexpr int16 kCurrentHandleProcsVersion = 1;
constexpr int16 kCurrentBufferProcsVersion = 2;
constexpr int16 kCurrentPropertyProcsVersion = 1;
constexpr int16 kCurrentResourceProcsVersion = 3;
constexpr int16 kCurrentDescriptorParametersVersion = 0;
constexpr int16 kCurrentReadDescriptorProcsVersion = 0;
constexpr int16 kCurrentWriteDescriptorProcsVersion = 0;
constexpr int16 kCurrentHandleProcsCount = 8;
constexpr int16 kCurrentBufferProcsCount = 8;
constexpr int16 kCurrentPropertyProcsCount = 2;
constexpr int16 kCurrentResourceProcsCount = 4;
constexpr int16 kCurrentReadDescriptorProcsCount = 18;
constexpr int16 kCurrentWriteDescriptorProcsCount = 16;

// PICA suite names and errors.
constexpr const char* kSPBasicSuite = "SP Basic Suite";
constexpr int32 kSPBasicSuiteVersion = 4;
constexpr const char* kPSBufferSuite = "Photoshop Buffer Suite for Plug-ins";
constexpr int32 kPSBufferSuiteVersion1 = 1;
constexpr int32 kPSBufferSuiteVersion2 = 2;
constexpr SPErr kSPNoError = 0;
constexpr SPErr kSPSuiteNotFoundError = SPErr(FourCC("S!Fd"));
constexpr SPErr kSPBadParameterError = SPErr(FourCC("Parm"));
constexpr SPErr kSPUnimplementedError = SPErr(FourCC("!IMP"));
constexpr SPErr kSPOutOfMemoryError = -108;

// ---- Error codes ----------------------------------------------------------------------------

constexpr OSErr noErr = 0;
constexpr OSErr coercedParamErr = 2;
constexpr OSErr readErr = -19;
constexpr OSErr writErr = -20;
constexpr OSErr openErr = -23;
constexpr OSErr dskFulErr = -34;
constexpr OSErr ioErr = -36;
constexpr OSErr eofErr = -39;  // also: end of descriptor
constexpr OSErr fnfErr = -43;
constexpr OSErr fLckdErr = -45;
constexpr OSErr vLckdErr = -46;
constexpr OSErr paramErr = -50;
constexpr OSErr memFullErr = -108;
constexpr OSErr nilHandleErr = -109;
constexpr OSErr memWZErr = -111;
constexpr OSErr userCanceledErr = -128;
constexpr OSErr errMissingParameter = -1715;
constexpr OSErr filterBadParameters = -30100;
constexpr OSErr filterBadMode = -30101;
constexpr OSErr errPlugInHostInsufficient = -30900;
constexpr OSErr errPlugInPropertyUndefined = -30901;
constexpr OSErr errHostDoesNotSupportColStep = -30902;
constexpr OSErr errInvalidSamplePoint = -30903;
constexpr OSErr errReportString = -30904;  // the plug-in stored a message in errorString
constexpr OSErr errHostVersionIncompatible = -30905;
constexpr OSErr errUnknownPort = -30910;
constexpr OSErr errUnsupportedRowBits = -30911;
constexpr OSErr errUnsupportedColBits = -30912;
constexpr OSErr errUnsupportedBitOffset = -30913;
constexpr OSErr errUnsupportedDepth = -30914;
constexpr OSErr errUnsupportedDepthConversion = -30915;
constexpr OSErr errWrongPlatformFilePath = -30916;
constexpr OSErr errIllegalCharInID = -30917;

// ---- Resources the host reads ---------------------------------------------------------------

constexpr int16 kPiPLResourceID = 16000;  // type "PIPL"; the terminology is type "AETE"
// PiPL property keys (vendor kPhotoshopSignature).
constexpr OSType PIKindProperty = FourCC("kind");
constexpr OSType PIVersionProperty = FourCC("vers");
constexpr OSType PIComponentProperty = FourCC("cmpt");
constexpr OSType PIWin64X86CodeProperty = FourCC("8664");
constexpr OSType PIWin32X86CodeProperty = FourCC("wx86");
constexpr OSType PINameProperty = FourCC("name");
constexpr OSType PICategoryProperty = FourCC("catg");
constexpr OSType PIImageModesProperty = FourCC("mode");
constexpr OSType PIEnableInfoProperty = FourCC("enbl");
constexpr OSType PIFilterCaseInfoProperty = FourCC("fici");
constexpr OSType PIFilterLayerSupportProperty = FourCC("flly");
constexpr OSType PIMaxSizeProperty = FourCC("ms32");
constexpr OSType PIMinSizeProperty = FourCC("mn32");
constexpr OSType PIHasTerminologyProperty = FourCC("hstm");
constexpr OSType PIRequiredHostProperty = FourCC("host");
constexpr OSType PINoAboutBoxProperty = FourCC("nabo");
constexpr OSType PIMonitorScalingAwareProperty = FourCC("pmsa");

// ---- Layout checks ------------------------------------------------------------------------

static_assert(sizeof(Point) == 4 && sizeof(Rect) == 8 && sizeof(VPoint) == 8 &&
              sizeof(VRect) == 16);
static_assert(sizeof(PSRGBColor) == 6 && sizeof(PlugInMonitor) == 40 && sizeof(PlatformData) == 8);
static_assert(sizeof(Str255) == 256 && sizeof(FilterColor) == 4 && sizeof(PlaneMap) == 32);

static_assert(offsetof(FilterRecord, serialNumber) == 0);
static_assert(offsetof(FilterRecord, abortProc) == 4);
static_assert(offsetof(FilterRecord, progressProc) == 12);
static_assert(offsetof(FilterRecord, parameters) == 20);
static_assert(offsetof(FilterRecord, imageSize) == 28);
static_assert(offsetof(FilterRecord, planes) == 32);
static_assert(offsetof(FilterRecord, filterRect) == 34);
static_assert(offsetof(FilterRecord, background) == 42);
static_assert(offsetof(FilterRecord, foreground) == 48);
static_assert(offsetof(FilterRecord, maxSpace) == 56);
static_assert(offsetof(FilterRecord, bufferSpace) == 60);
static_assert(offsetof(FilterRecord, inRect) == 64);
static_assert(offsetof(FilterRecord, inLoPlane) == 72);
static_assert(offsetof(FilterRecord, inHiPlane) == 74);
static_assert(offsetof(FilterRecord, outRect) == 76);
static_assert(offsetof(FilterRecord, outLoPlane) == 84);
static_assert(offsetof(FilterRecord, outHiPlane) == 86);
static_assert(offsetof(FilterRecord, inData) == 88);
static_assert(offsetof(FilterRecord, inRowBytes) == 96);
static_assert(offsetof(FilterRecord, outData) == 100);
static_assert(offsetof(FilterRecord, outRowBytes) == 108);
static_assert(offsetof(FilterRecord, isFloating) == 112);
static_assert(offsetof(FilterRecord, haveMask) == 113);
static_assert(offsetof(FilterRecord, autoMask) == 114);
static_assert(offsetof(FilterRecord, maskRect) == 116);
static_assert(offsetof(FilterRecord, maskData) == 124);
static_assert(offsetof(FilterRecord, maskRowBytes) == 132);
static_assert(offsetof(FilterRecord, backColor) == 136);
static_assert(offsetof(FilterRecord, foreColor) == 140);
static_assert(offsetof(FilterRecord, hostSig) == 144);
static_assert(offsetof(FilterRecord, hostProc) == 148);
static_assert(offsetof(FilterRecord, imageMode) == 156);
static_assert(offsetof(FilterRecord, imageHRes) == 160);
static_assert(offsetof(FilterRecord, imageVRes) == 164);
static_assert(offsetof(FilterRecord, floatCoord) == 168);
static_assert(offsetof(FilterRecord, wholeSize) == 172);
static_assert(offsetof(FilterRecord, monitor) == 176);
static_assert(offsetof(FilterRecord, platformData) == 216);
static_assert(offsetof(FilterRecord, bufferProcs) == 224);
static_assert(offsetof(FilterRecord, resourceProcs) == 232);
static_assert(offsetof(FilterRecord, processEvent) == 240);
static_assert(offsetof(FilterRecord, displayPixels) == 248);
static_assert(offsetof(FilterRecord, handleProcs) == 256);
static_assert(offsetof(FilterRecord, supportsDummyChannels) == 264);
static_assert(offsetof(FilterRecord, supportsAlternateLayouts) == 265);
static_assert(offsetof(FilterRecord, wantLayout) == 266);
static_assert(offsetof(FilterRecord, filterCase) == 268);
static_assert(offsetof(FilterRecord, dummyPlaneValue) == 270);
static_assert(offsetof(FilterRecord, premiereHook) == 272);
static_assert(offsetof(FilterRecord, advanceState) == 280);
static_assert(offsetof(FilterRecord, supportsAbsolute) == 288);
static_assert(offsetof(FilterRecord, wantsAbsolute) == 289);
static_assert(offsetof(FilterRecord, getPropertyObsolete) == 292);
static_assert(offsetof(FilterRecord, cannotUndo) == 300);
static_assert(offsetof(FilterRecord, supportsPadding) == 301);
static_assert(offsetof(FilterRecord, inputPadding) == 302);
static_assert(offsetof(FilterRecord, outputPadding) == 304);
static_assert(offsetof(FilterRecord, maskPadding) == 306);
static_assert(offsetof(FilterRecord, samplingSupport) == 308);
static_assert(offsetof(FilterRecord, reservedByte) == 309);
static_assert(offsetof(FilterRecord, inputRate) == 312);
static_assert(offsetof(FilterRecord, maskRate) == 316);
static_assert(offsetof(FilterRecord, colorServices) == 320);
static_assert(offsetof(FilterRecord, inLayerPlanes) == 328);
static_assert(offsetof(FilterRecord, inNonLayerPlanes) == 336);
static_assert(offsetof(FilterRecord, outLayerPlanes) == 338);
static_assert(offsetof(FilterRecord, absLayerPlanes) == 348);
static_assert(offsetof(FilterRecord, inPreDummyPlanes) == 358);
static_assert(offsetof(FilterRecord, outPostDummyPlanes) == 364);
static_assert(offsetof(FilterRecord, inColumnBytes) == 368);
static_assert(offsetof(FilterRecord, inPlaneBytes) == 372);
static_assert(offsetof(FilterRecord, outColumnBytes) == 376);
static_assert(offsetof(FilterRecord, outPlaneBytes) == 380);
static_assert(offsetof(FilterRecord, imageServicesProcs) == 384);
static_assert(offsetof(FilterRecord, propertyProcs) == 392);
static_assert(offsetof(FilterRecord, inTileHeight) == 400);
static_assert(offsetof(FilterRecord, inTileOrigin) == 404);
static_assert(offsetof(FilterRecord, absTileHeight) == 408);
static_assert(offsetof(FilterRecord, outTileHeight) == 416);
static_assert(offsetof(FilterRecord, maskTileHeight) == 424);
static_assert(offsetof(FilterRecord, maskTileOrigin) == 428);
static_assert(offsetof(FilterRecord, descriptorParameters) == 432);
static_assert(offsetof(FilterRecord, errorString) == 440);
static_assert(offsetof(FilterRecord, channelPortProcs) == 448);
static_assert(offsetof(FilterRecord, documentInfo) == 456);
static_assert(offsetof(FilterRecord, sSPBasic) == 464);
static_assert(offsetof(FilterRecord, plugInRef) == 472);
static_assert(offsetof(FilterRecord, depth) == 480);
static_assert(offsetof(FilterRecord, iCCprofileData) == 484);
static_assert(offsetof(FilterRecord, iCCprofileSize) == 492);
static_assert(offsetof(FilterRecord, canUseICCProfiles) == 496);
static_assert(offsetof(FilterRecord, hasImageScrap) == 500);
static_assert(offsetof(FilterRecord, bigDocumentData) == 504);
static_assert(offsetof(FilterRecord, input3DScene) == 512);
static_assert(offsetof(FilterRecord, output3DScene) == 520);
static_assert(offsetof(FilterRecord, createNewLayer) == 528);
static_assert(offsetof(FilterRecord, iCCWorkingProfileData) == 532);
static_assert(offsetof(FilterRecord, iCCWorkingProfileSize) == 540);
static_assert(offsetof(FilterRecord, bufferSpace64) == 544);
static_assert(offsetof(FilterRecord, maxSpace64) == 552);
static_assert(offsetof(FilterRecord, allowOverrangeColors) == 560);
static_assert(offsetof(FilterRecord, reserved) == 561);
static_assert(sizeof(FilterRecord) == kFilterRecordSize);

static_assert(offsetof(BigDocumentStruct, imageSize32) == 4);
static_assert(offsetof(BigDocumentStruct, filterRect32) == 12);
static_assert(offsetof(BigDocumentStruct, inRect32) == 28);
static_assert(offsetof(BigDocumentStruct, outRect32) == 44);
static_assert(offsetof(BigDocumentStruct, maskRect32) == 60);
static_assert(offsetof(BigDocumentStruct, floatCoord32) == 76);
static_assert(offsetof(BigDocumentStruct, wholeSize32) == 84);
static_assert(sizeof(BigDocumentStruct) == 92);

static_assert(offsetof(HandleProcs, newProc) == 8 && offsetof(HandleProcs, lockProc) == 40);
static_assert(offsetof(HandleProcs, disposeRegularHandleProc) == 64 && sizeof(HandleProcs) == 72);
static_assert(offsetof(BufferProcs, allocateProc) == 8 && offsetof(BufferProcs, spaceProc64) == 64);
static_assert(sizeof(BufferProcs) == 72);
static_assert(offsetof(PropertyProcs, getPropertyProc) == 8 && sizeof(PropertyProcs) == 24);
static_assert(offsetof(ResourceProcs, countProc) == 8 && sizeof(ResourceProcs) == 40);
static_assert(offsetof(PIDescriptorParameters, recordInfo) == 4);
static_assert(offsetof(PIDescriptorParameters, descriptor) == 8);
static_assert(offsetof(PIDescriptorParameters, writeDescriptorProcs) == 16);
static_assert(offsetof(PIDescriptorParameters, readDescriptorProcs) == 24);
static_assert(sizeof(PIDescriptorParameters) == 32);
static_assert(offsetof(ReadDescriptorProcs, openReadDescriptorProc) == 8);
static_assert(offsetof(ReadDescriptorProcs, getFloatProc) == 40);
static_assert(offsetof(ReadDescriptorProcs, getStringProc) == 120);
static_assert(offsetof(ReadDescriptorProcs, getPinnedUnitFloatProc) == 144);
static_assert(sizeof(ReadDescriptorProcs) == 152);
static_assert(offsetof(WriteDescriptorProcs, openWriteDescriptorProc) == 8);
static_assert(offsetof(WriteDescriptorProcs, putFloatProc) == 32);
static_assert(offsetof(WriteDescriptorProcs, putStringProc) == 112);
static_assert(offsetof(WriteDescriptorProcs, putScopedObjectProc) == 128);
static_assert(sizeof(WriteDescriptorProcs) == 136);
static_assert(offsetof(PSPixelMap, bounds) == 4 && offsetof(PSPixelMap, imageMode) == 20);
static_assert(offsetof(PSPixelMap, planeBytes) == 32 && offsetof(PSPixelMap, baseAddr) == 40);
static_assert(offsetof(PSPixelMap, mat) == 48 && offsetof(PSPixelMap, maskPhaseCol) == 68);
static_assert(offsetof(PSPixelMap, pixelOverlays) == 72);
static_assert(offsetof(PSPixelMap, colorManagementOptions) == 80);
static_assert(offsetof(PSPixelMap, depth) == 84 && sizeof(PSPixelMap) == 88);
static_assert(offsetof(PSPixelMask, maskDescription) == 24 && sizeof(PSPixelMask) == 32);
static_assert(offsetof(SPBasicSuite, AcquireSuite) == 0 && offsetof(SPBasicSuite, Undefined) == 48);
static_assert(sizeof(SPBasicSuite) == 56);
static_assert(sizeof(PSBufferSuite1) == 32 && sizeof(PSBufferSuite2) == 56);
static_assert(offsetof(AboutRecord, sSPBasic) == 8 && offsetof(AboutRecord, plugInRef) == 16);
static_assert(sizeof(AboutRecord) == 272);

}  // namespace ps
