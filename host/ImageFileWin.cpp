// PNG and TIFF through the Windows Imaging Component, which every Windows (and Wine) has.
#include "host/ImageFile.h"

#include "host/TiffWriter.h"

#include <windows.h>
#include <wincodec.h>

#include <algorithm>
#include <cstring>
#include <fstream>
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

// The layout an image of this kind is stored with in WIC, and whether red and blue swap.
struct WicLayout {
    WICPixelFormatGUID format;
    bool bgr;
};

WicLayout LayoutFor(int32_t planes, int32_t depth, bool alpha) {
    if (planes == 1)
        return {depth == 16 ? GUID_WICPixelFormat16bppGray : GUID_WICPixelFormat8bppGray, false};
    if (depth == 16)
        return {alpha ? GUID_WICPixelFormat64bppRGBA : GUID_WICPixelFormat48bppRGB, false};
    return {alpha ? GUID_WICPixelFormat32bppBGRA : GUID_WICPixelFormat24bppBGR, true};
}

// Host image rows <-> WIC rows: channel order and the 16-bit scale.
void ToHostRow(const uint8_t* in, CHostImage& image, int32_t y, bool bgr) {
    const int32_t channels = image.Channels();
    for (int32_t x = 0; x < image.Width(); ++x)
        for (int32_t c = 0; c < channels; ++c) {
            int32_t from = (bgr && c < 3) ? 2 - c : c;
            size_t i = size_t(x) * size_t(channels) + size_t(from);
            if (image.Depth() == 8) {
                image.SetSample(x, y, c, in[i]);
            } else {
                uint16_t v;
                std::memcpy(&v, in + 2 * i, 2);
                image.SetSample(x, y, c, From65535(v));
            }
        }
}

void FromHostRow(const CHostImage& image, int32_t y, bool bgr, bool swapBytes, uint8_t* out) {
    const int32_t channels = image.Channels();
    for (int32_t x = 0; x < image.Width(); ++x)
        for (int32_t c = 0; c < channels; ++c) {
            int32_t to = (bgr && c < 3) ? 2 - c : c;
            size_t i = size_t(x) * size_t(channels) + size_t(to);
            uint32_t v = image.Sample(x, y, c);
            if (image.Depth() == 8) {
                out[i] = uint8_t(v);
            } else {
                uint16_t s = To65535(v);
                if (swapBytes)
                    s = uint16_t((s >> 8) | (s << 8));
                std::memcpy(out + 2 * i, &s, 2);
            }
        }
}

bool Decode(IWICImagingFactory* factory, const std::string& path, CHostImage* image,
            std::string* error) {
    CComRef<IWICBitmapDecoder> decoder;
    HRESULT hr = factory->CreateDecoderFromFilename(Wide(path).c_str(), nullptr, GENERIC_READ,
                                                    WICDecodeMetadataCacheOnDemand, decoder.Out());
    if (FAILED(hr)) {
        *error = "not a readable PNG or TIFF image (" + Hex(hr) + ")";
        return false;
    }
    GUID container{};
    decoder->GetContainerFormat(&container);
    if (container != GUID_ContainerFormatPng && container != GUID_ContainerFormatTiff) {
        *error = "not a PNG or TIFF image";
        return false;
    }
    CComRef<IWICBitmapFrameDecode> frame;
    UINT width = 0, height = 0;
    WICPixelFormatGUID source{};
    if (FAILED(decoder->GetFrame(0, frame.Out())) || FAILED(frame->GetSize(&width, &height)) ||
        FAILED(frame->GetPixelFormat(&source))) {
        *error = "the image data cannot be read";
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
    if (width > INT32_MAX || height > INT32_MAX) {
        *error = "the image is too large";
        return false;
    }
    CHostImage img;
    if (!img.Create(int32_t(width), int32_t(height), gray ? 1 : 3, bits > 8 ? 16 : 8, alpha, error))
        return false;
    WicLayout layout = LayoutFor(img.Planes(), img.Depth(), alpha);

    CComRef<IWICFormatConverter> converter;
    IWICBitmapSource* pixels = frame.Get();
    if (source != layout.format) {
        if (FAILED(factory->CreateFormatConverter(converter.Out())) ||
            FAILED(converter->Initialize(frame.Get(), layout.format, WICBitmapDitherTypeNone,
                                         nullptr, 0.0, WICBitmapPaletteTypeCustom))) {
            *error = "its pixel format cannot be converted";
            return false;
        }
        pixels = converter.Get();
    }
    const uint64_t stride64 =
        uint64_t(width) * uint64_t(img.Channels()) * uint64_t(img.BytesPerSample());
    if (stride64 > (uint64_t(1) << 30)) {
        *error = "the image rows are too long";
        return false;
    }
    const UINT stride = UINT(stride64);
    const UINT band =
        std::max<UINT>(1, std::min<UINT>(height, UINT((uint64_t(16) << 20) / stride64 + 1)));
    std::vector<uint8_t> rows(size_t(stride) * band);
    for (UINT y = 0; y < height; y += band) {
        UINT n = std::min(band, height - y);
        WICRect rc{0, INT(y), INT(width), INT(n)};
        hr = pixels->CopyPixels(&rc, stride, stride * n, rows.data());
        if (FAILED(hr)) {
            *error = "the image data is damaged (" + Hex(hr) + ")";
            return false;
        }
        for (UINT i = 0; i < n; ++i)
            ToHostRow(rows.data() + size_t(i) * stride, img, int32_t(y + i), layout.bgr);
    }
    *image = std::move(img);
    return true;
}

bool Encode(IWICImagingFactory* factory, const std::string& path, ImageFormat format,
            const CHostImage& image, bool swapBytes, std::string* error) {
    WicLayout layout = LayoutFor(image.Planes(), image.Depth(), image.HasAlpha());
    CComRef<IWICStream> stream;
    CComRef<IWICBitmapEncoder> encoder;
    CComRef<IWICBitmapFrameEncode> frame;
    CComRef<IPropertyBag2> options;
    HRESULT hr = factory->CreateStream(stream.Out());
    if (SUCCEEDED(hr))
        hr = stream->InitializeFromFilename(Wide(path).c_str(), GENERIC_WRITE);
    if (FAILED(hr)) {
        *error = "cannot create the file (" + Hex(hr) + ")";
        return false;
    }
    hr = factory->CreateEncoder(
        format == ImageFormat::Png ? GUID_ContainerFormatPng : GUID_ContainerFormatTiff, nullptr,
        encoder.Out());
    if (SUCCEEDED(hr))
        hr = encoder->Initialize(stream.Get(), WICBitmapEncoderNoCache);
    if (SUCCEEDED(hr))
        hr = encoder->CreateNewFrame(frame.Out(), options.Out());
    if (SUCCEEDED(hr))
        hr = frame->Initialize(options.Get());
    if (SUCCEEDED(hr))
        hr = frame->SetSize(UINT(image.Width()), UINT(image.Height()));
    WICPixelFormatGUID wanted = layout.format;
    if (SUCCEEDED(hr))
        hr = frame->SetPixelFormat(&wanted);
    if (FAILED(hr)) {
        *error = "the encoder cannot be set up (" + Hex(hr) + ")";
        return false;
    }
    if (wanted != layout.format) {
        *error = "the encoder cannot store this depth and layout";
        return false;
    }
    const size_t stride = image.RowBytes();
    const int32_t band = std::max<int32_t>(
        1, int32_t(std::min<size_t>(size_t(image.Height()), (size_t(16) << 20) / stride + 1)));
    std::vector<uint8_t> rows(stride * size_t(band));
    for (int32_t y = 0; y < image.Height() && SUCCEEDED(hr); y += band) {
        int32_t n = std::min(band, image.Height() - y);
        for (int32_t i = 0; i < n; ++i)
            FromHostRow(image, y + i, layout.bgr, swapBytes, rows.data() + size_t(i) * stride);
        hr = frame->WritePixels(UINT(n), UINT(stride), UINT(stride * size_t(n)), rows.data());
    }
    if (SUCCEEDED(hr))
        hr = frame->Commit();
    if (SUCCEEDED(hr))
        hr = encoder->Commit();
    if (FAILED(hr)) {
        *error = "writing failed (" + Hex(hr) + ")";
        return false;
    }
    return true;
}

bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace

bool ReadImageFile(const std::string& path, CHostImage* image, std::string* error) {
    if (!Exists(path)) {
        *error = "Image " + path + " not found.";
        return false;
    }
    CComScope com;
    CComRef<IWICImagingFactory> factory;
    std::string why;
    if (!CreateFactory(&factory, &why) || !Decode(factory.Get(), path, image, &why)) {
        *error = "Cannot read image " + path + ": " + why + ".";
        return false;
    }
    return true;
}

bool WriteImageFile(const std::string& path, const CHostImage& image, std::string* error) {
    ImageFormat format = FormatFromPath(path);
    if (format == ImageFormat::Unknown) {
        *error = "Cannot write " + path + ": use a .png, .tif or .tiff file name.";
        return false;
    }
    const size_t slash = path.find_last_of("/\\");
    if (slash != std::string::npos && slash > 0 && !Exists(path.substr(0, slash))) {
        *error = "Cannot write " + path + ": its folder does not exist.";
        return false;
    }
    CComScope com;
    CComRef<IWICImagingFactory> factory;
    std::string why;
    if (!CreateFactory(&factory, &why)) {
        *error = "Cannot write " + path + ": " + why + ".";
        return false;
    }
    // Written beside the target and moved over it at the end: a failure never destroys an
    // existing file.
    const std::string temp = path + ".part";
    bool ok;
    if (format == ImageFormat::Tiff) {
        // Our own writer: WIC's TIFF encoders differ in the layouts they take (Wine's has no
        // 16-bit gray).
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        ok = out && WriteTiff(out, image, &why);
        if (!out && ok) {
            ok = false;
            why = "cannot create the file";
        }
    } else {
        ok = Encode(factory.Get(), temp, format, image, false, &why);
    }
    // Some encoders (Wine's 16-bit PNG) store the samples in the wrong byte order: read the
    // file back and, if it holds every sample byte-swapped, write it again pre-swapped.
    if (ok && image.Depth() == 16 && format == ImageFormat::Png) {
        CHostImage back;
        std::string readError;
        ok = Decode(factory.Get(), temp, &back, &readError);
        if (!ok) {
            why = "the file written cannot be read back (" + readError + ")";
        } else if (!(back == image)) {
            ok = Encode(factory.Get(), temp, format, image, true, &why) &&
                 Decode(factory.Get(), temp, &back, &readError);
            if (ok && !(back == image)) {
                ok = false;
                why = "the image encoder does not store 16-bit samples faithfully";
            }
        }
    }
    if (ok && !MoveFileExA(temp.c_str(), path.c_str(), MOVEFILE_REPLACE_EXISTING)) {
        ok = false;
        why = "cannot replace the file";
    }
    if (!ok) {
        DeleteFileA(temp.c_str());
        *error = "Cannot write " + path + ": " + why + ".";
        return false;
    }
    return true;
}

}  // namespace vg::host
