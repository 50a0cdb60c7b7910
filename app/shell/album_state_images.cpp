#include "app/shell/album_state_images.h"

#include <windows.h>

#include <algorithm>
#include <cmath>
#include <cstring>

#include "ui/gdi_holders.h"

namespace {

struct Point {
    double x, y;
};

double distanceToSegment(Point p, Point a, Point b)
{
    const double dx = b.x - a.x, dy = b.y - a.y;
    const double along = std::clamp(((p.x - a.x) * dx + (p.y - a.y) * dy) / (dx * dx + dy * dy), 0.0, 1.0);
    return std::hypot(p.x - (a.x + along * dx), p.y - (a.y + along * dy));
}

// How much of a pixel a shape covers, from the pixel centre's distance to its edge (inside < 0):
// one pixel of soft edge.
double coverage(double signedDistance) { return std::clamp(0.5 - signedDistance, 0.0, 1.0); }

uint32_t premultiplied(uint32_t rgb, double alpha)
{
    const auto channel = [&](int shift) { return static_cast<uint32_t>(((rgb >> shift) & 0xFF) * alpha + 0.5); };
    return (static_cast<uint32_t>(alpha * 255 + 0.5) << 24) | (channel(16) << 16) | (channel(8) << 8) | channel(0);
}

// `over` drawn on `under`, both premultiplied.
uint32_t blend(uint32_t under, uint32_t over)
{
    const uint32_t keep = 255 - (over >> 24);
    uint32_t result = 0;
    for (int shift = 0; shift < 32; shift += 8) {
        const uint32_t value = ((over >> shift) & 0xFF) + (((under >> shift) & 0xFF) * keep + 127) / 255;
        result |= std::min<uint32_t>(value, 255) << shift;
    }
    return result;
}

} // namespace

// Complete: a green disc with a white tick. Incomplete: an amber disc with a white bar and dot.
// Not saved yet: a grey ring. Colours and shapes differ, so neither colour nor shape alone carries it.
std::vector<uint32_t> albumStatePixels(AlbumState state, int size)
{
    std::vector<uint32_t> pixels(static_cast<size_t>(std::max(size, 0)) * static_cast<size_t>(std::max(size, 0)), 0);
    if (size <= 0) return pixels;
    const double scale = size / 16.0;
    const double radius = 7.0 * scale;
    const double stroke = std::max(1.0, 1.6 * scale);
    const Point centre{size / 2.0, size / 2.0};
    for (int y = 0; y < size; ++y) {
        for (int x = 0; x < size; ++x) {
            const Point p{x + 0.5, y + 0.5};
            const double fromCentre = std::hypot(p.x - centre.x, p.y - centre.y);
            uint32_t pixel = 0;
            if (state == AlbumState::NotDownloaded) {
                pixel = premultiplied(0x8A8A8A, coverage(std::abs(fromCentre - (radius - stroke / 2)) - stroke / 2));
            } else {
                const uint32_t disc = state == AlbumState::Complete ? 0x2E9E44 : 0xE08A00;
                pixel = premultiplied(disc, coverage(fromCentre - radius));
                double mark = 0;
                if (state == AlbumState::Complete) {
                    const Point a{4.5 * scale, 8.2 * scale}, b{7.0 * scale, 10.8 * scale}, c{11.6 * scale, 5.6 * scale};
                    mark = coverage(std::min(distanceToSegment(p, a, b), distanceToSegment(p, b, c)) - stroke / 2);
                } else {
                    const Point top{8.0 * scale, 4.0 * scale}, bottom{8.0 * scale, 8.8 * scale}, dot{8.0 * scale, 11.6 * scale};
                    mark = std::max(coverage(distanceToSegment(p, top, bottom) - stroke / 2),
                                    coverage(std::hypot(p.x - dot.x, p.y - dot.y) - stroke * 0.6));
                }
                pixel = blend(pixel, premultiplied(0xFFFFFF, mark * (pixel >> 24) / 255.0));
            }
            pixels[static_cast<size_t>(y) * static_cast<size_t>(size) + static_cast<size_t>(x)] = pixel;
        }
    }
    return pixels;
}

// Guarded by AlbumStateImages.*.
bool makeAlbumStateImages(ImageListObject& list, int size)
{
    if (!list.Create(size, size, ILC_COLOR32, 3)) return false;
    for (AlbumState state : {AlbumState::NotDownloaded, AlbumState::Complete, AlbumState::Incomplete}) {
        const std::vector<uint32_t> pixels = albumStatePixels(state, size);
        BITMAPINFO info{};
        info.bmiHeader.biSize = sizeof(info.bmiHeader);
        info.bmiHeader.biWidth = size;
        info.bmiHeader.biHeight = -size;  // top-down rows
        info.bmiHeader.biPlanes = 1;
        info.bmiHeader.biBitCount = 32;
        info.bmiHeader.biCompression = BI_RGB;
        void* bits = nullptr;
        const UniqueBitmap bitmap(CreateDIBSection(nullptr, &info, DIB_RGB_COLORS, &bits, nullptr, 0));
        if (!bitmap || !bits) return false;
        std::memcpy(bits, pixels.data(), pixels.size() * sizeof(uint32_t));
        // The list copies the bitmap: ours is deleted at the end of the step.
        if (ImageList_Add(list.Handle(), bitmap.get(), nullptr) < 0) return false;
    }
    return true;
}
