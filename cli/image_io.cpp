#include "cli/image_io.h"

#include <wincodec.h>
#include <windows.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <cwctype>
#include <mutex>
#include <utility>
#include <vector>

#include "cli/pending_file.h"
#include "cli/text.h"

namespace {

// The smallest COM smart pointer this file needs.
template <class T>
class Com {
  public:
    Com() = default;
    ~Com() { Reset(); }
    Com(const Com&) = delete;
    Com& operator=(const Com&) = delete;
    T** Out() {
        Reset();
        return &pointer_;
    }
    T* operator->() const { return pointer_; }
    T* Get() const { return pointer_; }
    void Reset() {
        if (pointer_ != nullptr) pointer_->Release();
        pointer_ = nullptr;
    }

  private:
    T* pointer_ = nullptr;
};

std::wstring HrText(HRESULT hr) {
    return ErrorText(static_cast<unsigned long>(hr));
}

bool CreateFactory(Com<IWICImagingFactory>& factory, HRESULT& hr) {
    hr = CoCreateInstance(CLSID_WICImagingFactory, nullptr, CLSCTX_INPROC_SERVER,
                          IID_IWICImagingFactory, reinterpret_cast<void**>(factory.Out()));
    return SUCCEEDED(hr);
}

uint16_t Widen(uint8_t value) {
    return static_cast<uint16_t>(value * 257);
}

uint16_t Load16(const uint8_t* bytes) {
    uint16_t value;
    std::memcpy(&value, bytes, 2);
    return value;
}

// How one stored pixel layout maps onto 64-bit RGBA. Offsets are in channels of `bytes` size;
// a negative alpha offset means opaque, grey layouts have red = green = blue.
struct Layout {
    const GUID* format;
    int bitsPerPixel;
    int bytes;  // 1 or 2 per channel
    int red, green, blue, alpha;
};

constexpr Layout kLayouts[] = {
    {&GUID_WICPixelFormat8bppGray, 8, 1, 0, 0, 0, -1},
    {&GUID_WICPixelFormat16bppGray, 16, 2, 0, 0, 0, -1},
    {&GUID_WICPixelFormat24bppRGB, 24, 1, 0, 1, 2, -1},
    {&GUID_WICPixelFormat24bppBGR, 24, 1, 2, 1, 0, -1},
    {&GUID_WICPixelFormat32bppBGR, 32, 1, 2, 1, 0, -1},
    {&GUID_WICPixelFormat32bppRGB, 32, 1, 0, 1, 2, -1},
    {&GUID_WICPixelFormat32bppBGRA, 32, 1, 2, 1, 0, 3},
    {&GUID_WICPixelFormat32bppRGBA, 32, 1, 0, 1, 2, 3},
    {&GUID_WICPixelFormat32bppPBGRA, 32, 1, 2, 1, 0, 3},
    {&GUID_WICPixelFormat32bppPRGBA, 32, 1, 0, 1, 2, 3},
    {&GUID_WICPixelFormat48bppRGB, 48, 2, 0, 1, 2, -1},
    {&GUID_WICPixelFormat48bppBGR, 48, 2, 2, 1, 0, -1},
    {&GUID_WICPixelFormat64bppRGBA, 64, 2, 0, 1, 2, 3},
    {&GUID_WICPixelFormat64bppBGRA, 64, 2, 2, 1, 0, 3},
    {&GUID_WICPixelFormat64bppPRGBA, 64, 2, 0, 1, 2, 3},
    {&GUID_WICPixelFormat64bppPBGRA, 64, 2, 2, 1, 0, 3},
};

const Layout* FindLayout(const GUID& format) {
    for (const Layout& layout : kLayouts) {
        if (IsEqualGUID(*layout.format, format)) return &layout;
    }
    return nullptr;
}

uint16_t Channel(const uint8_t* pixel, const Layout& layout, int index) {
    if (index < 0) return 65535;
    return layout.bytes == 1 ? Widen(pixel[index]) : Load16(pixel + 2 * index);
}

// Copies the source into the bitmap row by row in the given layout.
HRESULT CopyRows(IWICBitmapSource* source, const Layout& layout, hostsdk::PlainBitmap& image) {
    const UINT width = image.Width();
    const UINT stride = (width * static_cast<UINT>(layout.bitsPerPixel) + 7) / 8;
    const int pixelBytes = layout.bitsPerPixel / 8;
    std::vector<uint8_t> row(stride);
    for (UINT y = 0; y < image.Height(); ++y) {
        const WICRect rect{0, static_cast<INT>(y), static_cast<INT>(width), 1};
        const HRESULT hr = source->CopyPixels(&rect, stride, stride, row.data());
        if (FAILED(hr)) return hr;
        for (UINT x = 0; x < width; ++x) {
            const uint8_t* pixel = row.data() + static_cast<std::size_t>(x) * pixelBytes;
            image.Row(static_cast<int>(y))[x] = {
                Channel(pixel, layout, layout.red), Channel(pixel, layout, layout.green),
                Channel(pixel, layout, layout.blue), Channel(pixel, layout, layout.alpha)};
        }
    }
    return S_OK;
}

// Source of the rows to encode: row y as W 64-bit RGBA pixels.
using RowSource = const BMM_Color_64* (*)(void* context, UINT y);

HRESULT EncodeToStream(IWICImagingFactory* factory, IStream* stream, ImageFormat format, UINT width,
                       UINT height, RowSource rows, void* context, bool swapBytes) {
    Com<IWICBitmapEncoder> encoder;
    const GUID& container =
        format == ImageFormat::Png ? GUID_ContainerFormatPng : GUID_ContainerFormatTiff;
    HRESULT hr = factory->CreateEncoder(container, nullptr, encoder.Out());
    if (SUCCEEDED(hr)) hr = encoder->Initialize(stream, WICBitmapEncoderNoCache);
    Com<IWICBitmapFrameEncode> frame;
    Com<IPropertyBag2> options;
    if (SUCCEEDED(hr)) hr = encoder->CreateNewFrame(frame.Out(), options.Out());
    if (SUCCEEDED(hr)) hr = frame->Initialize(options.Get());
    if (SUCCEEDED(hr)) hr = frame->SetSize(width, height);
    WICPixelFormatGUID pixelFormat = GUID_WICPixelFormat64bppRGBA;
    if (SUCCEEDED(hr)) hr = frame->SetPixelFormat(&pixelFormat);
    // The encoder names the format it will really write; anything but 16-bit RGBA would lose
    // data, so it is refused rather than converted.
    if (SUCCEEDED(hr) && !IsEqualGUID(pixelFormat, GUID_WICPixelFormat64bppRGBA)) {
        hr = WINCODEC_ERR_UNSUPPORTEDPIXELFORMAT;
    }
    const UINT stride = width * 8u;
    std::vector<uint8_t> row(stride);
    for (UINT y = 0; SUCCEEDED(hr) && y < height; ++y) {
        std::memcpy(row.data(), rows(context, y), stride);
        if (swapBytes) {
            for (UINT i = 0; i + 1 < stride; i += 2) std::swap(row[i], row[i + 1]);
        }
        hr = frame->WritePixels(1, stride, stride, row.data());
    }
    if (SUCCEEDED(hr)) hr = frame->Commit();
    if (SUCCEEDED(hr)) hr = encoder->Commit();
    if (SUCCEEDED(hr)) hr = stream->Commit(STGC_DEFAULT);
    return hr;
}

// Some implementations of the imaging component write the 16-bit samples of a 64-bit RGBA
// frame in the wrong byte order (the decoder reads them correctly). A one-pixel image encoded
// in memory and decoded again shows which way the encoder of a container goes.
enum class ByteOrder { Correct, Swapped, Unknown };

ByteOrder ProbeEncoder(IWICImagingFactory* factory, ImageFormat format) {
    static const BMM_Color_64 probe{0x0102, 0x0304, 0x0506, 0x0708};
    Com<IStream> stream;
    if (FAILED(CreateStreamOnHGlobal(nullptr, TRUE, stream.Out()))) return ByteOrder::Unknown;
    auto row = [](void*, UINT) { return &probe; };
    if (FAILED(EncodeToStream(factory, stream.Get(), format, 1, 1, row, nullptr, false))) {
        return ByteOrder::Unknown;
    }
    const LARGE_INTEGER start{};
    Com<IWICBitmapDecoder> decoder;
    Com<IWICBitmapFrameDecode> frame;
    WICPixelFormatGUID stored{};
    if (FAILED(stream->Seek(start, STREAM_SEEK_SET, nullptr)) ||
        FAILED(factory->CreateDecoderFromStream(stream.Get(), nullptr,
                                                WICDecodeMetadataCacheOnDemand, decoder.Out())) ||
        FAILED(decoder->GetFrame(0, frame.Out())) || FAILED(frame->GetPixelFormat(&stored)) ||
        !IsEqualGUID(stored, GUID_WICPixelFormat64bppRGBA)) {
        return ByteOrder::Unknown;
    }
    BMM_Color_64 back{};
    const WICRect rect{0, 0, 1, 1};
    if (FAILED(frame->CopyPixels(&rect, 8, 8, reinterpret_cast<BYTE*>(&back)))) {
        return ByteOrder::Unknown;
    }
    if (back.r == 0x0102 && back.g == 0x0304 && back.b == 0x0506 && back.a == 0x0708) {
        return ByteOrder::Correct;
    }
    if (back.r == 0x0201 && back.g == 0x0403 && back.b == 0x0605 && back.a == 0x0807) {
        return ByteOrder::Swapped;
    }
    return ByteOrder::Unknown;
}

ByteOrder EncoderByteOrder(IWICImagingFactory* factory, ImageFormat format) {
    static std::once_flag once[2];
    static ByteOrder order[2];
    const int i = format == ImageFormat::Png ? 0 : 1;
    std::call_once(once[i], [&] { order[i] = ProbeEncoder(factory, format); });
    return order[i];
}

// Encodes the bitmap into memory; the file is written from there by the caller.
HRESULT Encode(IWICImagingFactory* factory, const hostsdk::PlainBitmap& image, ImageFormat format,
               std::vector<std::byte>& bytes) {
    const ByteOrder order = EncoderByteOrder(factory, format);
    if (order == ByteOrder::Unknown) return WINCODEC_ERR_UNSUPPORTEDPIXELFORMAT;
    Com<IStream> stream;
    HRESULT hr = CreateStreamOnHGlobal(nullptr, TRUE, stream.Out());
    if (FAILED(hr)) return hr;
    auto row = [](void* context, UINT y) -> const BMM_Color_64* {
        return static_cast<const hostsdk::PlainBitmap*>(context)->Row(static_cast<int>(y));
    };
    hr = EncodeToStream(factory, stream.Get(), format, image.Width(), image.Height(), row,
                        const_cast<hostsdk::PlainBitmap*>(&image), order == ByteOrder::Swapped);
    if (FAILED(hr)) return hr;
    HGLOBAL memory = nullptr;
    hr = GetHGlobalFromStream(stream.Get(), &memory);
    if (FAILED(hr)) return hr;
    STATSTG stat{};
    hr = stream->Stat(&stat, STATFLAG_NONAME);
    if (FAILED(hr)) return hr;
    const auto* data = static_cast<const std::byte*>(GlobalLock(memory));
    if (data == nullptr) return E_OUTOFMEMORY;
    bytes.assign(data, data + stat.cbSize.QuadPart);
    GlobalUnlock(memory);
    return S_OK;
}

}  // namespace

ComSession::ComSession() : ok_(SUCCEEDED(CoInitializeEx(nullptr, COINIT_MULTITHREADED))) {}

ComSession::~ComSession() {
    if (ok_) CoUninitialize();
}

ImageFormat FormatForPath(const std::wstring& path) {
    const std::size_t dot = path.find_last_of(L'.');
    const std::size_t slash = path.find_last_of(L"\\/");
    if (dot == std::wstring::npos || (slash != std::wstring::npos && dot < slash)) {
        return ImageFormat::Unknown;
    }
    std::wstring extension = path.substr(dot + 1);
    for (wchar_t& c : extension) c = static_cast<wchar_t>(std::towlower(c));
    if (extension == L"png") return ImageFormat::Png;
    if (extension == L"tif" || extension == L"tiff") return ImageFormat::Tiff;
    return ImageFormat::Unknown;
}

std::unique_ptr<hostsdk::PlainBitmap> ReadImage(const FilePath& file, Failure& failure) {
    auto fail = [&](const std::wstring& why) {
        failure = {kExitBadInput, file.shown + L": " + why};
        return nullptr;
    };
    const std::wstring& path = file.system;
    const DWORD attributes = GetFileAttributesW(path.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES)
        return fail(L"cannot open: " + ErrorText(GetLastError()));
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return fail(L"is a folder, not an image");

    Com<IWICImagingFactory> factory;
    HRESULT hr;
    if (!CreateFactory(factory, hr)) return fail(L"imaging component unavailable: " + HrText(hr));
    Com<IWICBitmapDecoder> decoder;
    hr = factory->CreateDecoderFromFilename(path.c_str(), nullptr, GENERIC_READ,
                                            WICDecodeMetadataCacheOnDemand, decoder.Out());
    if (FAILED(hr)) return fail(L"not a PNG or TIFF image (" + HrText(hr) + L")");
    GUID container{};
    if (FAILED(decoder->GetContainerFormat(&container)) ||
        !(IsEqualGUID(container, GUID_ContainerFormatPng) ||
          IsEqualGUID(container, GUID_ContainerFormatTiff))) {
        return fail(L"not a PNG or TIFF image");
    }
    Com<IWICBitmapFrameDecode> frame;
    hr = decoder->GetFrame(0, frame.Out());
    if (FAILED(hr)) return fail(L"has no image: " + HrText(hr));
    UINT width = 0;
    UINT height = 0;
    hr = frame->GetSize(&width, &height);
    if (FAILED(hr)) return fail(L"unreadable size: " + HrText(hr));
    if (width > 65535 || height > 65535) {
        return fail(L"is " + std::to_wstring(width) + L" x " + std::to_wstring(height) +
                    L" pixels; at most 65535 x 65535 can be filtered");
    }
    if (width == 0 || height == 0) return fail(L"has no pixels");

    WICPixelFormatGUID stored{};
    hr = frame->GetPixelFormat(&stored);
    if (FAILED(hr)) return fail(L"unreadable pixel format: " + HrText(hr));

    auto image = std::make_unique<hostsdk::PlainBitmap>(static_cast<uint16_t>(width),
                                                        static_cast<uint16_t>(height));
    if (image->Pixels() == nullptr) return fail(L"too large for the memory available");

    if (const Layout* layout = FindLayout(stored)) {
        hr = CopyRows(frame.Get(), *layout, *image);
    } else {
        // Palettes, 1- to 4-bit grey and the like: the format converter widens them, to 16-bit
        // RGBA when it can and otherwise to 8-bit BGRA (no such format holds more than 8 bits).
        Com<IWICBitmapSource> converted;
        const Layout* target = FindLayout(GUID_WICPixelFormat64bppRGBA);
        hr = WICConvertBitmapSource(GUID_WICPixelFormat64bppRGBA, frame.Get(), converted.Out());
        if (FAILED(hr)) {
            target = FindLayout(GUID_WICPixelFormat32bppBGRA);
            hr = WICConvertBitmapSource(GUID_WICPixelFormat32bppBGRA, frame.Get(), converted.Out());
        }
        if (SUCCEEDED(hr)) hr = CopyRows(converted.Get(), *target, *image);
    }
    if (FAILED(hr)) return fail(L"pixels could not be decoded: " + HrText(hr));
    return image;
}

Failure WriteImage(const hostsdk::PlainBitmap& image, const FilePath& path, ImageFormat format) {
    Com<IWICImagingFactory> factory;
    HRESULT hr;
    if (!CreateFactory(factory, hr)) {
        return {kExitNotWritten, path.shown + L": imaging component unavailable: " + HrText(hr)};
    }
    std::vector<std::byte> bytes;
    hr = Encode(factory.Get(), image, format, bytes);
    if (FAILED(hr)) return {kExitNotWritten, path.shown + L": not written: " + HrText(hr)};
    return WriteWholeFile(path, bytes);
}
