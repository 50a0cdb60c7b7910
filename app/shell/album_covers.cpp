#include "app/shell/album_covers.h"

#include "ui/gdiplus_include.h"

using namespace Gdiplus::DllExports;

namespace {

ImageObject greySquare(int side)
{
    Gdiplus::GpBitmap* bitmap = nullptr;
    ImageObject image;
    if (GdipCreateBitmapFromScan0(side, side, 0, PixelFormat32bppARGB, nullptr, &bitmap) != Gdiplus::Ok) return image;
    Gdiplus::GpGraphics* graphics = nullptr;
    if (GdipGetImageGraphicsContext(bitmap, &graphics) == Gdiplus::Ok) {
        GdipGraphicsClear(graphics, 0xFFD8D8D8);
        GdipDeleteGraphics(graphics);
    }
    image.AttachNative(bitmap);
    return image;
}

} // namespace

ImageObject coverAtSize(const ImageObject& cover, int side)
{
    if (cover.Width() == side && cover.Height() == side) return cover;
    ImageObject scaled;
    if (cover.Scaled(side, side, scaled)) return scaled;
    return greySquare(side);
}

bool makeCoverList(ImageListObject& list, const std::vector<ImageObject>& covers, int side)
{
    if (!list.Create(side, side, ILC_COLOR32 | ILC_MASK, static_cast<int>(covers.size()))) return false;
    for (const ImageObject& cover : covers) {
        if (list.AddImage(coverAtSize(cover, side)) < 0) return false;
    }
    return true;
}
