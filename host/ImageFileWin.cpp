// PNG, TIFF and JPEG through the Windows Imaging Component, which every Windows (and Wine)
// has, with the metadata copied at the container level (ImageMetadata.cpp): Wine's imaging
// component reads and writes no metadata blocks at all.
#include "host/ImageFile.h"

#include "host/ImageMetadata.h"
#include "host/PngWriter.h"
#include "host/TiffWriter.h"

#include <windows.h>
#include <objbase.h>
#include <wincodec.h>

#include <algorithm>
#include <cstring>
#include <fstream>
#include <thread>
#include <vector>

namespace vg::host {
namespace {

// Owns one COM interface reference.
template <class T>
class CComRef {
public:
    CComRef() = default;
    ~CComRef() { Reset(); }
    CComRef(const CComRef&) = delete;
    CComRef& operator=(const CComRef&) = delete;
    T* operator->() const { return m_p; }
    T* Get() const { return m_p; }
    T** Out() {
        Reset();
        return &m_p;
    }
    void Reset() {
        if (m_p)
            m_p->Release();
        m_p = nullptr;
    }

private:
    T* m_p = nullptr;
};

// COM for the calling thread, released again only if this call started it.
class CComScope {
public:
    CComScope() : m_hr(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)) {}
    ~CComScope() {
        if (SUCCEEDED(m_hr))
            CoUninitialize();
    }
    CComScope(const CComScope&) = delete;
    CComScope& operator=(const CComScope&) = delete;

private:
    HRESULT m_hr;
};

// A file opened for reading, read through a small cache (metadata readers make many small
// reads near each other).
class CFileSource : public CByteSource {
public:
    explicit CFileSource(const std::string& path)
        : m_file(CreateFileA(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr)) {
        LARGE_INTEGER size{};
        if (m_file != INVALID_HANDLE_VALUE && GetFileSizeEx(m_file, &size))
            m_size = uint64_t(size.QuadPart);
    }
    ~CFileSource() override {
        if (m_file != INVALID_HANDLE_VALUE)
            CloseHandle(m_file);
    }
    CFileSource(const CFileSource&) = delete;
    CFileSource& operator=(const CFileSource&) = delete;

    bool Open() const { return m_file != INVALID_HANDLE_VALUE; }
    uint64_t Size() const override { return m_size; }

    bool Read(uint64_t offset, void* out, size_t n) override {
        if (offset > m_size || n > m_size - offset)
            return false;
        if (n >= kCache)
            return ReadAt(offset, out, n);
        if (offset < m_cacheAt || offset + n > m_cacheAt + m_cache.size()) {
            m_cache.resize(size_t(std::min<uint64_t>(kCache, m_size - offset)));
            m_cacheAt = offset;
            if (!ReadAt(offset, m_cache.data(), m_cache.size())) {
                m_cache.clear();
                return false;
            }
        }
        std::memcpy(out, m_cache.data() + (offset - m_cacheAt), n);
        return true;
    }

private:
    static constexpr size_t kCache = 64 * 1024;

    bool ReadAt(uint64_t offset, void* out, size_t n) {
        LARGE_INTEGER at;
        at.QuadPart = LONGLONG(offset);
        if (!SetFilePointerEx(m_file, at, nullptr, FILE_BEGIN))
            return false;
        char* p = static_cast<char*>(out);
        while (n > 0) {
            DWORD chunk = DWORD(std::min<size_t>(n, 1u << 30)), got = 0;
            if (!ReadFile(m_file, p, chunk, &got, nullptr) || got == 0)
                return false;
            p += got;
            n -= got;
        }
        return true;
    }

    HANDLE m_file;
    uint64_t m_size = 0;
    std::vector<char> m_cache;
    uint64_t m_cacheAt = 0;
};

std::wstring Wide(const std::string& s) {
    int n = MultiByteToWideChar(CP_ACP, 0, s.c_str(), -1, nullptr, 0);
    std::wstring w(size_t(std::max(n, 1)), L'\0');
    MultiByteToWideChar(CP_ACP, 0, s.c_str(), -1, &w[0], n);
    w.resize(size_t(std::max(n - 1, 0)));
    return w;
}

std::string Hex(HRESULT hr) {
    char buf[16];
    wsprintfA(buf, "0x%08lX", static_cast<unsigned long>(hr));
    return buf;
}

bool CreateFactory(CComRef<IWICImagingFactory>* factory, std::string* error) {
    HRESULT hr = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                                  IID_IWICImagingFactory, reinterpret_cast<void**>(factory->Out()));
    if (FAILED(hr)) {
        *error = "the Windows Imaging Component is not available (" + Hex(hr) + ")";
        return false;
    }
    return true;
}

bool IsGrayFormat(const WICPixelFormatGUID& f) {
    return f == GUID_WICPixelFormatBlackWhite || f == GUID_WICPixelFormat2bppGray ||
           f == GUID_WICPixelFormat4bppGray || f == GUID_WICPixelFormat8bppGray ||
           f == GUID_WICPixelFormat16bppGray;
}

bool IsIndexedFormat(const WICPixelFormatGUID& f) {
    return f == GUID_WICPixelFormat1bppIndexed || f == GUID_WICPixelFormat2bppIndexed ||
           f == GUID_WICPixelFormat4bppIndexed || f == GUID_WICPixelFormat8bppIndexed;
}

bool IsCmykFormat(const WICPixelFormatGUID& f) {
    return f == GUID_WICPixelFormat32bppCMYK || f == GUID_WICPixelFormat64bppCMYK ||
           f == GUID_WICPixelFormat40bppCMYKAlpha || f == GUID_WICPixelFormat80bppCMYKAlpha;
}

// Bits per channel and transparency of a pixel format.
bool DescribeFormat(IWICImagingFactory* factory, const WICPixelFormatGUID& f, UINT* bitsPerChannel,
                    bool* alpha) {
    CComRef<IWICComponentInfo> info;
    CComRef<IWICPixelFormatInfo2> pf;
    if (FAILED(factory->CreateComponentInfo(f, info.Out())) ||
        FAILED(info->QueryInterface(IID_IWICPixelFormatInfo2, reinterpret_cast<void**>(pf.Out()))))
        return false;
    UINT bpp = 0, channels = 0;
    BOOL transparency = FALSE;
    if (FAILED(pf->GetBitsPerPixel(&bpp)) || FAILED(pf->GetChannelCount(&channels)) ||
        channels == 0)
        return false;
    pf->SupportsTransparency(&transparency);
    *bitsPerChannel = bpp / channels;
    *alpha = transparency != FALSE;
    return true;
}

// The layouts an image of this kind can be stored with in WIC: the host's own channel order
// first (no copy needed), then the one with red and blue swapped.
struct WicLayout {
    WICPixelFormatGUID format;
    bool bgr;
};

std::vector<WicLayout> LayoutsFor(int32_t planes, int32_t depth, bool alpha) {
    if (planes == 1)
        return {{depth == 16 ? GUID_WICPixelFormat16bppGray : GUID_WICPixelFormat8bppGray, false}};
    if (depth == 16)
        return {{alpha ? GUID_WICPixelFormat64bppRGBA : GUID_WICPixelFormat48bppRGB, false}};
    if (alpha)
        return {{GUID_WICPixelFormat32bppRGBA, false}, {GUID_WICPixelFormat32bppBGRA, true}};
    return {{GUID_WICPixelFormat24bppRGB, false}, {GUID_WICPixelFormat24bppBGR, true}};
}

// WIC rows into host rows, in place: red and blue swapped back, 16-bit samples rescaled.
void ToHostRows(uint8_t* rows, size_t samples, int32_t channels, int32_t depth, bool bgr) {
    if (depth == 8) {
        if (bgr)
            for (size_t i = 0; i + 2 < samples; i += size_t(channels))
                std::swap(rows[i], rows[i + 2]);
        return;
    }
    for (size_t i = 0; i < samples; ++i) {
        uint16_t v;
        std::memcpy(&v, rows + 2 * i, 2);
        v = From65535(v);
        std::memcpy(rows + 2 * i, &v, 2);
    }
}

void FromHostRow(const CHostImage& image, int32_t y, bool bgr, uint8_t* out) {
    const size_t samples = size_t(image.Width()) * size_t(image.Channels());
    const uint8_t* src = image.Row(y);
    if (image.Depth() == 8) {
        std::memcpy(out, src, samples);
        if (bgr)
            for (size_t i = 0; i + 2 < samples; i += size_t(image.Channels()))
                std::swap(out[i], out[i + 2]);
        return;
    }
    for (size_t i = 0; i < samples; ++i) {
        uint16_t v;
        std::memcpy(&v, src + 2 * i, 2);
        v = To65535(v);
        std::memcpy(out + 2 * i, &v, 2);
    }
}

ImageFormat FormatOfContainer(const GUID& container) {
    if (container == GUID_ContainerFormatPng)
        return ImageFormat::Png;
    if (container == GUID_ContainerFormatTiff)
        return ImageFormat::Tiff;
    if (container == GUID_ContainerFormatJpeg)
        return ImageFormat::Jpeg;
    return ImageFormat::Unknown;
}

bool Decode(IWICImagingFactory* factory, IWICBitmapDecoder* decoder, uint64_t fileBytes,
            CHostImage* image, std::string* error) {
    CComRef<IWICBitmapFrameDecode> frame;
    UINT width = 0, height = 0;
    WICPixelFormatGUID source{};
    if (FAILED(decoder->GetFrame(0, frame.Out())) || FAILED(frame->GetSize(&width, &height)) ||
        FAILED(frame->GetPixelFormat(&source))) {
        *error = "the image data cannot be read";
        return false;
    }
    if (IsCmykFormat(source)) {
        *error = "it is a CMYK image; filters of this kind take RGB or gray (convert it first)";
        return false;
    }
    UINT bits = 8;
    bool alpha = false;
    if (!DescribeFormat(factory, source, &bits, &alpha)) {
        *error = "unsupported pixel format";
        return false;
    }
    bool gray = IsGrayFormat(source) && !alpha;
    if (IsIndexedFormat(source)) {
        CComRef<IWICPalette> palette;
        BOOL isGray = FALSE, hasAlpha = FALSE;
        if (SUCCEEDED(factory->CreatePalette(palette.Out())) &&
            SUCCEEDED(frame->CopyPalette(palette.Get()))) {
            palette->IsGrayscale(&isGray);
            palette->HasAlpha(&hasAlpha);
        }
        alpha = hasAlpha != FALSE;
        gray = isGray && !alpha;
        bits = 8;
    }
    const int32_t planes = gray ? 1 : 3;
    const int32_t depth = bits > 8 ? 16 : 8;
    const int32_t channels = planes + (alpha ? 1 : 0);
    // Checked before anything is allocated for the claimed size.
    if (!CheckImageSize(width, height, uint32_t(channels), uint32_t(depth / 8), fileBytes, error))
        return false;

    CComRef<IWICFormatConverter> converter;
    IWICBitmapSource* pixels = frame.Get();
    WicLayout layout{};
    bool found = false;
    for (const WicLayout& candidate : LayoutsFor(planes, depth, alpha)) {
        layout = candidate;
        if (source == candidate.format) {
            found = true;
            break;
        }
        if (SUCCEEDED(factory->CreateFormatConverter(converter.Out())) &&
            SUCCEEDED(converter->Initialize(frame.Get(), candidate.format, WICBitmapDitherTypeNone,
                                            nullptr, 0.0, WICBitmapPaletteTypeCustom))) {
            pixels = converter.Get();
            found = true;
            break;
        }
    }
    if (!found) {
        *error = "its pixel format cannot be converted";
        return false;
    }
    const size_t stride = size_t(width) * size_t(channels) * size_t(depth / 8);
    const UINT band =
        std::max<UINT>(1, UINT(std::min<size_t>(height, (size_t(4) << 20) / stride + 1)));
    // Samples are allocated only as bands are decoded: a file that claims more than it holds
    // fails at its first damaged band, not after the whole claimed size was committed.
    std::vector<uint8_t> samples;
    try {
        samples.reserve(stride * height);
        for (UINT y = 0; y < height; y += band) {
            const UINT n = std::min(band, height - y);
            const size_t at = samples.size();
            samples.resize(at + stride * n);
            WICRect rc{0, INT(y), INT(width), INT(n)};
            HRESULT hr =
                pixels->CopyPixels(&rc, UINT(stride), UINT(stride * n), samples.data() + at);
            if (FAILED(hr)) {
                *error = "the image data is damaged (" + Hex(hr) + ")";
                return false;
            }
            ToHostRows(samples.data() + at, stride * n / size_t(depth / 8), channels, depth,
                       layout.bgr);
        }
    } catch (const std::bad_alloc&) {
        *error = "there is not enough memory for it";
        return false;
    }
    return image->Adopt(int32_t(width), int32_t(height), planes, depth, alpha, std::move(samples),
                        error);
}

// Encodes a JPEG file into memory: the bytes get their metadata before they reach the file.
bool EncodeJpeg(IWICImagingFactory* factory, const CHostImage& image, int quality,
                std::string* bytes, std::string* error) {
    CComRef<IStream> memory;
    CComRef<IWICStream> stream;
    CComRef<IWICBitmapEncoder> encoder;
    CComRef<IWICBitmapFrameEncode> frame;
    CComRef<IPropertyBag2> options;
    HRESULT hr = CreateStreamOnHGlobal(nullptr, TRUE, memory.Out());
    if (SUCCEEDED(hr))
        hr = factory->CreateStream(stream.Out());
    if (SUCCEEDED(hr))
        hr = stream->InitializeFromIStream(memory.Get());
    if (SUCCEEDED(hr))
        hr = factory->CreateEncoder(GUID_ContainerFormatJpeg, nullptr, encoder.Out());
    if (SUCCEEDED(hr))
        hr = encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache);
    if (SUCCEEDED(hr))
        hr = encoder->CreateNewFrame(frame.Out(), options.Out());
    if (SUCCEEDED(hr)) {
        PROPBAG2 option{};
        option.pstrName = const_cast<LPOLESTR>(L"ImageQuality");
        VARIANT value;
        VariantInit(&value);
        value.vt = VT_R4;
        value.fltVal = float(quality) / 100.0f;
        hr = options->Write(1, &option, &value);
    }
    if (SUCCEEDED(hr))
        hr = frame->Initialize(options.Get());
    if (SUCCEEDED(hr))
        hr = frame->SetSize(UINT(image.Width()), UINT(image.Height()));
    if (FAILED(hr)) {
        *error = "the encoder cannot be set up (" + Hex(hr) + ")";
        return false;
    }
    // The encoder may offer a layout other than the one asked for; the first one it takes
    // as it is wins.
    bool bgr = false;
    bool taken = false;
    for (const WicLayout& layout : LayoutsFor(image.Planes(), image.Depth(), image.HasAlpha())) {
        WICPixelFormatGUID wanted = layout.format;
        if (SUCCEEDED(frame->SetPixelFormat(&wanted)) && wanted == layout.format) {
            bgr = layout.bgr;
            taken = true;
            break;
        }
    }
    if (!taken) {
        *error = "the encoder cannot store this depth and layout";
        return false;
    }
    const size_t stride = image.RowBytes();
    const int32_t band = std::max<int32_t>(
        1, int32_t(std::min<size_t>(size_t(image.Height()), (size_t(4) << 20) / stride + 1)));
    std::vector<uint8_t> rows(stride * size_t(band));
    for (int32_t y = 0; y < image.Height() && SUCCEEDED(hr); y += band) {
        const int32_t n = std::min(band, image.Height() - y);
        for (int32_t i = 0; i < n; ++i)
            FromHostRow(image, y + i, bgr, rows.data() + size_t(i) * stride);
        hr = frame->WritePixels(UINT(n), UINT(stride), UINT(stride * size_t(n)), rows.data());
    }
    if (SUCCEEDED(hr))
        hr = frame->Commit();
    if (SUCCEEDED(hr))
        hr = encoder->Commit();
    HGLOBAL global = nullptr;
    if (SUCCEEDED(hr))
        hr = GetHGlobalFromStream(memory.Get(), &global);
    STATSTG stat{};
    if (SUCCEEDED(hr))
        hr = memory->Stat(&stat, STATFLAG_NONAME);
    if (FAILED(hr)) {
        *error = "encoding failed (" + Hex(hr) + ")";
        return false;
    }
    const void* data = GlobalLock(global);
    if (data == nullptr) {
        *error = "encoding failed";
        return false;
    }
    bytes->assign(static_cast<const char*>(data), size_t(stat.cbSize.QuadPart));
    GlobalUnlock(global);
    return true;
}

bool WriteBytes(const std::string& path, const std::string& bytes) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return false;
    bool ok = true;
    for (size_t done = 0; ok && done < bytes.size();) {
        DWORD chunk = DWORD(std::min<size_t>(bytes.size() - done, 1u << 30)), written = 0;
        ok = WriteFile(file, bytes.data() + done, chunk, &written, nullptr) && written == chunk;
        done += written;
    }
    return CloseHandle(file) && ok;
}

bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

std::string FolderOf(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    return slash == std::string::npos ? std::string(".") : path.substr(0, slash + 1);
}

// A JPEG takes 8 bits per channel and no transparency.
bool ForJpeg(const CHostImage& image, CHostImage* eight, std::string* error) {
    if (image.HasAlpha()) {
        *error = "it has transparency, which JPEG cannot hold (write PNG or TIFF)";
        return false;
    }
    if (image.Depth() == 8)
        return true;
    if (!eight->Create(image.Width(), image.Height(), image.Planes(), 8, false, error))
        return false;
    for (int32_t y = 0; y < image.Height(); ++y) {
        const uint8_t* src = image.Row(y);
        uint8_t* dst = eight->Row(y);
        for (size_t i = 0; i < size_t(image.Width()) * size_t(image.Channels()); ++i) {
            uint16_t v;
            std::memcpy(&v, src + 2 * i, 2);
            dst[i] = uint8_t((uint32_t(std::min<uint16_t>(v, 32768)) * 255u + 16384u) / 32768u);
        }
    }
    return true;
}

}  // namespace

bool ReadImageFile(const std::string& path, CHostImage* image, std::string* error,
                   ImageMetadata* metadata, ImageFileInfo* info) {
    if (!Exists(path)) {
        *error = "Image " + path + " not found.";
        return false;
    }
    CFileSource file(path);
    CComScope com;
    CComRef<IWICImagingFactory> factory;
    CComRef<IWICBitmapDecoder> decoder;
    std::string why;
    GUID container{};
    ImageFormat format = ImageFormat::Unknown;
    if (!file.Open()) {
        why = "it cannot be opened";
    } else if (CreateFactory(&factory, &why)) {
        HRESULT hr =
            factory->CreateDecoderFromFilename(Wide(path).c_str(), nullptr, GENERIC_READ,
                                               WICDecodeMetadataCacheOnDemand, decoder.Out());
        if (FAILED(hr))
            why = "not a readable PNG, TIFF or JPEG image (" + Hex(hr) + ")";
        else if (FAILED(decoder->GetContainerFormat(&container)) ||
                 (format = FormatOfContainer(container)) == ImageFormat::Unknown)
            why = "not a PNG, TIFF or JPEG image";
    }
    if (!why.empty() || !Decode(factory.Get(), decoder.Get(), file.Size(), image, &why)) {
        *error = "Cannot read image " + path + ": " + why + ".";
        return false;
    }
    ImageFileInfo local;
    ImageFileInfo& out = info ? *info : local;
    out.format = format;
    if (metadata)
        ReadImageMetadata(format, file, metadata, &out.notes);
    return true;
}

bool WriteImageFile(const std::string& path, const CHostImage& image, std::string* error,
                    const ImageWriteOptions& options) {
    const ImageFormat format =
        options.format != ImageFormat::Unknown ? options.format : FormatFromPath(path);
    if (format == ImageFormat::Unknown) {
        *error = "Cannot write " + path + ": use a .png, .tif, .tiff, .jpg or .jpeg file name.";
        return false;
    }
    const size_t slash = path.find_last_of("/\\");
    if (slash != std::string::npos && slash > 0 && !Exists(path.substr(0, slash))) {
        *error = "Cannot write " + path + ": its folder does not exist.";
        return false;
    }
    if (!options.replace && Exists(path)) {
        *error = "Cannot write " + path + ": it exists (--overwrite replaces it).";
        return false;
    }
    CComScope com;
    CComRef<IWICImagingFactory> factory;
    std::string why;
    if (!CreateFactory(&factory, &why)) {
        *error = "Cannot write " + path + ": " + why + ".";
        return false;
    }
    std::vector<std::string> ignored;
    std::vector<std::string>& notes = options.notes ? *options.notes : ignored;
    const ImageMetadata* metadata =
        options.metadata && !options.metadata->Empty() ? options.metadata : nullptr;

    // A unique name in the target folder, so that the final rename stays on one volume.
    char temp[MAX_PATH];
    if (GetTempFileNameA(FolderOf(path).c_str(), "vgh", 0, temp) == 0) {
        *error = "Cannot write " + path + ": its folder takes no new file.";
        return false;
    }
    bool ok = true;
    if (format == ImageFormat::Tiff) {
        // Our own writer: WIC's TIFF encoders differ in the layouts they take (Wine's has no
        // 16-bit gray), and neither writes metadata under Wine.
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        ok = out &&
             WriteTiff(out, image, &why,
                       metadata ? TiffMetadataFields(*metadata, &notes) : std::vector<TiffField>{});
        if (!out && ok) {
            ok = false;
            why = "cannot create the file";
        }
    } else {
        CHostImage eight;
        const CHostImage* source = &image;
        std::string bytes;
        if (format == ImageFormat::Jpeg) {
            ok = ForJpeg(image, &eight, &why);
            if (!eight.Empty())
                source = &eight;
            ok = ok && EncodeJpeg(factory.Get(), *source, options.quality, &bytes, &why);
        } else {
            // Our own encoder: WIC's PNG encoder under Wine takes longer than the filter and
            // stores 16-bit samples byte-swapped.
            ok = EncodePng(image, int(std::max(1u, std::thread::hardware_concurrency())), &bytes,
                           &why);
        }
        if (ok && metadata) {
            const bool added = format == ImageFormat::Jpeg
                                   ? AddJpegMetadata(bytes, *metadata, &notes)
                                   : AddPngMetadata(bytes, *metadata, &notes);
            if (!added)
                notes.push_back("the encoder's output takes no metadata; left out");
        }
        if (ok && !WriteBytes(temp, bytes)) {
            ok = false;
            why = "cannot write the file (is the disk full?)";
        }
    }
    const DWORD flags = options.replace ? MOVEFILE_REPLACE_EXISTING : 0;
    if (ok && !MoveFileExA(temp, path.c_str(), flags)) {
        ok = false;
        why = Exists(path) && !options.replace ? "it exists (--overwrite replaces it)"
                                               : "cannot replace the file";
    }
    if (!ok) {
        DeleteFileA(temp);
        *error = "Cannot write " + path + ": " + why + ".";
        return false;
    }
    return true;
}

}  // namespace vg::host
