#include "ui/window_background.h"

#include <optional>

#include "ui/gdi_holders.h"
#include "ui/gdiplus_include.h"

using namespace Gdiplus::DllExports;

namespace {

// A DIB section in a memory device context, with a GDI+ graphics on it; all released together.
class OffscreenBuffer {
public:
    OffscreenBuffer(int width, int height)
    {
        dc_.reset(CreateCompatibleDC(UniqueWindowDc(nullptr).get()));
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof info.bmiHeader;
        info.bmiHeader.biWidth = width;
        info.bmiHeader.biHeight = -height;
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        void* bits = nullptr;
        bitmap_.reset(CreateDIBSection(dc_.get(), &info, DIB_RGB_COLORS, &bits, nullptr, 0));
        if (dc_ && bitmap_) {
            selection_.emplace(dc_.get(), bitmap_.get());
            GdipCreateFromHDC(dc_.get(), &graphics_);
        }
    }
    // The graphics goes first, then the members in reverse: the bitmap is selected out before
    // it is deleted, and the device context last.
    ~OffscreenBuffer()
    {
        if (graphics_) GdipDeleteGraphics(graphics_);
    }
    OffscreenBuffer(const OffscreenBuffer&) = delete;
    OffscreenBuffer& operator=(const OffscreenBuffer&) = delete;

    Gdiplus::GpGraphics* graphics() const { return graphics_; }
    HDC dc() const { return dc_.get(); }

private:
    UniqueDc dc_;
    UniqueBitmap bitmap_;
    std::optional<SelectedObject> selection_;
    Gdiplus::GpGraphics* graphics_ = nullptr;
};

void drawImage(Gdiplus::GpGraphics* graphics, const ImageObject& image, int kind, bool smooth, int width, int height)
{
    auto* native = static_cast<Gdiplus::GpImage*>(image.GetNativeImage());
    if (kind == 0) {
        Gdiplus::GpTexture* brush = nullptr;
        if (GdipCreateTexture(native, Gdiplus::WrapModeTile, &brush) == Gdiplus::Ok) {
            GdipFillRectangleI(graphics, brush, 0, 0, width, height);
            GdipDeleteBrush(brush);
        }
        return;
    }
    if (kind < 1 || kind > 3) return;
    // Pixels stay square for a QR code; a photo scaled by pixels looks jagged.
    GdipSetInterpolationMode(graphics, smooth ? Gdiplus::InterpolationModeHighQualityBicubic : Gdiplus::InterpolationModeNearestNeighbor);
    GdipSetPixelOffsetMode(graphics, Gdiplus::PixelOffsetModeHalf);
    RECT target{0, 0, image.Width(), image.Height()};
    if (kind == 2) target = {0, 0, width, height};
    if (kind == 3) target = aspectFitRect(image.Width(), image.Height(), width, height);
    GdipDrawImageRectI(graphics, native, target.left, target.top, target.right - target.left, target.bottom - target.top);
}

} // namespace

intptr_t argbFromColorref(COLORREF color)
{
    return static_cast<intptr_t>(0xFF000000u | (GetRValue(color) << 16) | (GetGValue(color) << 8) | GetBValue(color));
}

COLORREF colorrefFromArgb(intptr_t argb)
{
    const auto value = static_cast<uint32_t>(argb);
    return RGB((value >> 16) & 0xFF, (value >> 8) & 0xFF, value & 0xFF);
}

COLORREF backColorAccess(WindowRecord* record, COLORREF color, bool apply)
{
    if (!record) return 0;
    const COLORREF previous = colorrefFromArgb(record->properties.get(property::BackColor));
    if (apply) {
        record->properties.set(property::BackColor, argbFromColorref(color));
        InvalidateRect(record->handle(), nullptr, TRUE);
    }
    return previous;
}

int showImageTypeAccess(WindowRecord* record, int kind, bool apply)
{
    if (!record) return 0;
    const int previous = static_cast<int>(record->properties.get(property::ShowImageType));
    if (apply) {
        record->properties.set(property::ShowImageType, kind);
        InvalidateRect(record->handle(), nullptr, TRUE);
    }
    return previous;
}

RECT aspectFitRect(int w, int h, int width, int height)
{
    if (w <= 0 || h <= 0 || width <= 0 || height <= 0) return {0, 0, width, height};
    const double ratio = static_cast<double>(h) / w;
    const double difference = ratio - static_cast<double>(height) / width;
    if (difference > 0.0000001) {
        const int fitted = static_cast<int>(height / ratio);
        const int left = (width - fitted) / 2;
        return {left, 0, left + fitted, height};
    }
    if (difference < -0.0000001) {
        const int fitted = static_cast<int>(ratio * width);
        const int top = (height - fitted) / 2;
        return {0, top, width, top + fitted};
    }
    return {0, 0, width, height};
}

const ImageObject* backgroundImage(WindowRecord* record)
{
    return reinterpret_cast<const ImageObject*>(record->properties.get(property::BackImage));
}

void setBackgroundImage(WindowRecord* record, const ImageObject* image)
{
    releaseBackground(record);
    if (image) record->properties.set(property::BackImage, reinterpret_cast<intptr_t>(new ImageObject(*image)));
}

void releaseBackground(WindowRecord* record)
{
    if (auto* held = const_cast<ImageObject*>(backgroundImage(record))) {
        record->properties.remove(property::BackImage);
        delete held;
    }
}

bool paintBackground(WindowRecord* record, HWND window, HDC dc)
{
    const ImageObject* image = backgroundImage(record);
    const intptr_t colour = record->properties.get(property::BackColor);
    if (!image && !colour) return false;
    RECT client{};
    GetClientRect(window, &client);
    const int width = client.right - client.left;
    const int height = client.bottom - client.top;
    if (width <= 0 || height <= 0) return true;
    OffscreenBuffer buffer(width, height);
    if (!buffer.graphics()) return false;
    const Gdiplus::ARGB clear = colour ? static_cast<Gdiplus::ARGB>(colour)
                                       : static_cast<Gdiplus::ARGB>(argbFromColorref(GetSysColor(COLOR_BTNFACE)));
    GdipGraphicsClear(buffer.graphics(), clear);
    if (image && !image->IsEmpty()) drawImage(buffer.graphics(), *image, static_cast<int>(record->properties.get(property::ShowImageType)),
                                                  record->properties.get(property::SmoothScaling) != 0, width, height);
    GdipFlush(buffer.graphics(), Gdiplus::FlushIntentionSync);
    BitBlt(dc, client.left, client.top, width, height, buffer.dc(), 0, 0, SRCCOPY);
    return true;
}

ImageObject backImageAccess(WindowRecord* record, const ImageObject* image, bool apply)
{
    const ImageObject* held = record ? backgroundImage(record) : nullptr;
    ImageObject previous = held ? *held : ImageObject();
    if (apply && record) {
        setBackgroundImage(record, image);
        InvalidateRect(record->handle(), nullptr, TRUE);
    }
    return previous;
}
