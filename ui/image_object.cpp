#include "ui/image_object.h"

#include <atomic>
#include <vector>

#include "tasks/unique_handle.h"
#include "text/encoding.h"
#include "ui/gdiplus_include.h"

using namespace Gdiplus::DllExports;
using Gdiplus::GpBitmap;
using Gdiplus::GpImage;
using Gdiplus::Ok;

namespace {

// The bytes a stream holds: its own size, not the (rounded up) size of the memory under it.
std::string streamBytes(IStream* stream)
{
    STATSTG stat{};
    HGLOBAL memory = nullptr;
    if (stream->Stat(&stat, STATFLAG_NONAME) != S_OK || GetHGlobalFromStream(stream, &memory) != S_OK || !memory) return {};
    const size_t size = static_cast<size_t>(stat.cbSize.QuadPart);
    std::string bytes;
    if (const void* source = GlobalLock(memory)) {
        bytes.assign(static_cast<const char*>(source), std::min(size, static_cast<size_t>(GlobalSize(memory))));
        GlobalUnlock(memory);
    }
    return bytes;
}

// A truncated or damaged picture may open and fail only when drawn: decode it once now.
bool decodesWhole(GpImage* image)
{
    UINT width = 0, height = 0;
    if (GdipGetImageWidth(image, &width) != Ok || GdipGetImageHeight(image, &height) != Ok || !width || !height) return false;
    Gdiplus::ImageType type = Gdiplus::ImageTypeUnknown;
    GdipGetImageType(image, &type);
    if (type != Gdiplus::ImageTypeBitmap) return true;
    Gdiplus::GpRect all(0, 0, static_cast<INT>(width), static_cast<INT>(height));
    Gdiplus::BitmapData data{};
    auto* bitmap = static_cast<GpBitmap*>(image);
    if (GdipBitmapLockBits(bitmap, &all, Gdiplus::ImageLockModeRead, PixelFormat32bppARGB, &data) != Ok) return false;
    GdipBitmapUnlockBits(bitmap, &data);
    return true;
}

} // namespace

IStream* streamOver(std::string_view bytes)
{
    UniqueHGlobal memory(GlobalAlloc(GMEM_MOVEABLE | GMEM_ZEROINIT, bytes.empty() ? 1 : bytes.size()));
    if (!memory) return nullptr;
    if (void* target = GlobalLock(memory.get())) {
        if (!bytes.empty()) memcpy(target, bytes.data(), bytes.size());
        GlobalUnlock(memory.get());
    }
    IStream* stream = nullptr;
    if (CreateStreamOnHGlobal(memory.get(), TRUE, &stream) != S_OK) return nullptr;
    static_cast<void>(memory.release());  // the stream frees it now
    return stream;
}

struct ImageObject::Record {
    std::atomic<long> refs = 1;
    GpImage* image = nullptr;
    IStream* stream = nullptr;

    void releaseResources() { dispose(); }
    void dispose()
    {
        if (!image) return;
        GdipDisposeImage(image);  // before its stream: GDI+ may read from it until then
        if (stream) stream->Release();
        image = nullptr;
        stream = nullptr;
    }
};

long ImageObject::LiveRecords() { return SharedRecord<Record>::live(); }

ImageObject::ImageObject() = default;
ImageObject::~ImageObject() = default;
ImageObject::ImageObject(const ImageObject& other) = default;
ImageObject& ImageObject::operator=(const ImageObject& other) = default;
ImageObject::ImageObject(ImageObject&& other) noexcept = default;
ImageObject& ImageObject::operator=(ImageObject&& other) noexcept = default;

void* ImageObject::GetNativeImage() const { return record_ ? record_->image : nullptr; }

void ImageObject::AttachNative(void* image)
{
    Record* record = record_.ensure();
    record->dispose();
    record->image = static_cast<GpImage*>(image);
}

void ImageObject::Dispose()
{
    if (record_) record_->dispose();
}

bool ImageObject::LoadFile(std::wstring_view path)
{
    Record* record = record_.ensure();
    record->dispose();
    GpImage* image = nullptr;
    if (GdipLoadImageFromFile(std::wstring(path).c_str(), &image) != Ok || !image) return false;
    if (!decodesWhole(image)) {
        GdipDisposeImage(image);
        return false;
    }
    record->image = image;
    return true;
}

bool ImageObject::LoadFile(std::string_view path) { return LoadFile(std::wstring_view(toUtf16(path))); }

bool ImageObject::LoadBytes(std::string_view bytes)
{
    Record* record = record_.ensure();
    record->dispose();
    if (bytes.empty()) return false;
    IStream* stream = streamOver(bytes);
    if (!stream) return false;
    GpImage* image = nullptr;
    if (GdipLoadImageFromStream(stream, &image) != Ok || !image || !decodesWhole(image)) {
        if (image) GdipDisposeImage(image);
        stream->Release();
        return false;
    }
    record->image = image;
    record->stream = stream;
    return true;
}

ImageObject ImageObject::Clone() const
{
    ImageObject copy;
    GpImage* cloned = nullptr;
    if (GetNativeImage() && GdipCloneImage(record_->image, &cloned) == Ok) copy.AttachNative(cloned);
    return copy;
}

std::string textFromGuid(const GUID& guid)
{
    wchar_t text[78] = {};
    StringFromGUID2(guid, text, 78);
    return toNarrow(text);
}

bool guidFromText(std::string_view text, GUID& guid)
{
    std::wstring wide = toUtf16(text);
    return CLSIDFromString(wide.data(), &guid) == NOERROR;
}

std::string ImageObject::RawFormat() const
{
    GUID format{};
    if (GdipGetImageRawFormat(static_cast<GpImage*>(GetNativeImage()), &format) != Ok) return {};
    return textFromGuid(format);
}

int ImageObject::PixelFormat() const
{
    Gdiplus::PixelFormat format = 0;
    GdipGetImagePixelFormat(static_cast<GpImage*>(GetNativeImage()), &format);
    return static_cast<int>(format);
}

std::string ImageObject::SaveBytes(std::string_view format) const
{
    const std::string wanted = format.empty() ? RawFormat() : std::string(format);
    UINT count = 0, size = 0;
    if (GdipGetImageEncodersSize(&count, &size) != Ok || !size) return {};
    std::vector<char> buffer(size);
    auto* encoders = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
    if (GdipGetImageEncoders(count, size, encoders) != Ok) return {};
    const CLSID* encoder = nullptr;
    for (UINT i = 0; i < count && !encoder; ++i)
        if (textFromGuid(encoders[i].FormatID) == wanted) encoder = &encoders[i].Clsid;
    if (!encoder) return {};

    IStream* stream = nullptr;
    if (CreateStreamOnHGlobal(nullptr, TRUE, &stream) != S_OK) return {};
    std::string bytes;
    if (GdipSaveImageToStream(static_cast<GpImage*>(GetNativeImage()), stream, encoder, nullptr) == Ok) bytes = streamBytes(stream);
    stream->Release();
    return bytes;
}

bool ImageObject::Dimension(float& width, float& height) const
{
    return GdipGetImageDimension(static_cast<GpImage*>(GetNativeImage()), &width, &height) == Ok;
}

bool ImageObject::Bounds(float& x, float& y, float& width, float& height) const
{
    Gdiplus::GpRectF rect;
    Gdiplus::GpUnit unit = Gdiplus::UnitPixel;
    if (GdipGetImageBounds(static_cast<GpImage*>(GetNativeImage()), &rect, &unit) != Ok) return false;
    x = rect.X;
    y = rect.Y;
    width = rect.Width;
    height = rect.Height;
    return true;
}

int ImageObject::Width() const
{
    UINT width = 0;
    GdipGetImageWidth(static_cast<GpImage*>(GetNativeImage()), &width);
    return static_cast<int>(width);
}

int ImageObject::Height() const
{
    UINT height = 0;
    GdipGetImageHeight(static_cast<GpImage*>(GetNativeImage()), &height);
    return static_cast<int>(height);
}

float ImageObject::HorizontalResolution() const
{
    float dpi = 0;
    GdipGetImageHorizontalResolution(static_cast<GpImage*>(GetNativeImage()), &dpi);
    return dpi;
}

float ImageObject::VerticalResolution() const
{
    float dpi = 0;
    GdipGetImageVerticalResolution(static_cast<GpImage*>(GetNativeImage()), &dpi);
    return dpi;
}

bool ImageObject::Thumbnail(int width, int height, ImageObject& target) const
{
    GpImage* thumbnail = nullptr;
    if (GdipGetImageThumbnail(static_cast<GpImage*>(GetNativeImage()), width, height, &thumbnail, nullptr, nullptr) != Ok)
        return false;
    target.AttachNative(thumbnail);
    return true;
}

bool ImageObject::Scaled(int width, int height, ImageObject& target) const
{
    using namespace Gdiplus;
    auto* source = static_cast<GpImage*>(GetNativeImage());
    if (!source || width <= 0 || height <= 0) return false;
    GpBitmap* bitmap = nullptr;
    if (GdipCreateBitmapFromScan0(width, height, 0, PixelFormat32bppARGB, nullptr, &bitmap) != Ok) return false;
    GpGraphics* graphics = nullptr;
    bool drawn = false;
    if (GdipGetImageGraphicsContext(bitmap, &graphics) == Ok) {
        GdipSetInterpolationMode(graphics, InterpolationModeHighQualityBicubic);
        GdipSetPixelOffsetMode(graphics, PixelOffsetModeHalf);
        // Edge pixels repeat outward instead of fading into the transparent outside.
        GpImageAttributes* attributes = nullptr;
        GdipCreateImageAttributes(&attributes);
        if (attributes) GdipSetImageAttributesWrapMode(attributes, WrapModeTileFlipXY, 0, FALSE);
        drawn = GdipDrawImageRectRectI(graphics, source, 0, 0, width, height, 0, 0, Width(), Height(), UnitPixel, attributes,
                                       nullptr, nullptr) == Ok;
        if (attributes) GdipDisposeImageAttributes(attributes);
        GdipDeleteGraphics(graphics);
    }
    if (!drawn) {
        GdipDisposeImage(bitmap);
        return false;
    }
    target.AttachNative(bitmap);
    return true;
}

int ImageObject::FrameCount(std::string_view dimension) const
{
    GUID guid{};
    UINT count = 0;
    if (!guidFromText(dimension, guid)) return 0;
    GdipImageGetFrameCount(static_cast<GpImage*>(GetNativeImage()), &guid, &count);
    return static_cast<int>(count);
}

bool ImageObject::SelectFrame(std::string_view dimension, int index)
{
    GUID guid{};
    if (!guidFromText(dimension, guid)) return false;
    return GdipImageSelectActiveFrame(static_cast<GpImage*>(GetNativeImage()), &guid, static_cast<UINT>(index)) == Ok;
}

UniqueBitmap ImageObject::ToHBITMAP(unsigned background) const
{
    UniqueBitmap bitmap;
    GdipCreateHBITMAPFromBitmap(static_cast<GpBitmap*>(GetNativeImage()), bitmap.put(), background);
    return bitmap;
}

UniqueIcon ImageObject::ToHICON() const
{
    UniqueIcon icon;
    GdipCreateHICONFromBitmap(static_cast<GpBitmap*>(GetNativeImage()), icon.put());
    return icon;
}

bool ImageObject::DrawBlt(HDC target, int x, int y, int width, int height, int sourceX, int sourceY, DWORD rop,
                          unsigned background) const
{
    const UniqueBitmap bitmap = ToHBITMAP(background);
    if (!bitmap) return false;
    const UniqueDc memory(CreateCompatibleDC(target));
    const SelectedObject selected(memory.get(), bitmap.get());
    return BitBlt(target, x, y, width, height, memory.get(), sourceX, sourceY, rop);
}

bool ImageObject::DrawAlpha(HDC target, int x, int y, int width, int height, int sourceX, int sourceY, int sourceWidth,
                            int sourceHeight, int alpha, unsigned background) const
{
    if (sourceWidth < 0) sourceWidth = Width();
    if (sourceHeight < 0) sourceHeight = Height();
    const UniqueBitmap bitmap = ToHBITMAP(background);
    if (!bitmap) return false;
    const UniqueDc memory(CreateCompatibleDC(target));
    const SelectedObject selected(memory.get(), bitmap.get());
    const BLENDFUNCTION blend{AC_SRC_OVER, 0, static_cast<BYTE>(alpha), AC_SRC_ALPHA};
    return AlphaBlend(target, x, y, width, height, memory.get(), sourceX, sourceY, sourceWidth, sourceHeight, blend);
}
