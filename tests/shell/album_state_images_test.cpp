// The album rows' state images: three that tell their state apart by colour and by shape, drawn
// crisply at any size, and a list the album view can take.
#include "app/shell/album_state_images.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <vector>

namespace {

int alpha(uint32_t pixel) { return static_cast<int>(pixel >> 24); }
int red(uint32_t pixel) { return static_cast<int>((pixel >> 16) & 0xFF); }
int green(uint32_t pixel) { return static_cast<int>((pixel >> 8) & 0xFF); }
int blue(uint32_t pixel) { return static_cast<int>(pixel & 0xFF); }

uint32_t at(const std::vector<uint32_t>& pixels, int size, double x, double y)
{
    return pixels[static_cast<size_t>(y * size) * static_cast<size_t>(size) + static_cast<size_t>(x * size)];
}

} // namespace

TEST(AlbumStateImages, ThreeStatesDifferInColourAndShapeAtEverySize)
{
    for (int size : {16, 20, 24, 32, 48}) {
        const auto complete = albumStatePixels(AlbumState::Complete, size);
        const auto incomplete = albumStatePixels(AlbumState::Incomplete, size);
        const auto notYet = albumStatePixels(AlbumState::NotDownloaded, size);
        ASSERT_EQ(complete.size(), static_cast<size_t>(size * size));
        // Premultiplied: no channel above its alpha, or the list blends garbage.
        for (const auto* image : {&complete, &incomplete, &notYet})
            for (uint32_t pixel : *image) ASSERT_TRUE(red(pixel) <= alpha(pixel) && green(pixel) <= alpha(pixel) && blue(pixel) <= alpha(pixel));
        // Corners are clear: the row's background shows round each image.
        EXPECT_EQ(alpha(at(complete, size, 0, 0)), 0);
        EXPECT_EQ(alpha(at(notYet, size, 0.99, 0.99)), 0);
        // Complete is a green disc, incomplete an amber one; both opaque near their rim.
        const uint32_t greenRim = at(complete, size, 0.5, 0.2);
        const uint32_t amberRim = at(incomplete, size, 0.5, 0.8);
        EXPECT_EQ(alpha(greenRim), 255) << size;
        EXPECT_GT(green(greenRim), red(greenRim));
        EXPECT_GT(red(amberRim), blue(amberRim) + 100);
        // Their marks are white: the tick's corner, the bar of the exclamation mark.
        const uint32_t tick = at(complete, size, 7.0 / 16, 10.8 / 16 - 0.5 / size);
        EXPECT_GT(blue(tick), 200) << size;
        const uint32_t bar = at(incomplete, size, 0.5, 6.0 / 16);
        EXPECT_GT(blue(bar), 200) << size;
        // Not saved yet is a ring: its middle is clear.
        EXPECT_EQ(alpha(at(notYet, size, 0.5, 0.5)), 0);
        EXPECT_GT(alpha(at(notYet, size, 0.5, 1.5 / 16)), 100);
    }
    EXPECT_TRUE(albumStatePixels(AlbumState::Complete, 0).empty());
}

TEST(AlbumStateImages, ListHoldsTheThreeInStateOrder)
{
    ImageListObject list;
    ASSERT_TRUE(makeAlbumStateImages(list, 24));
    EXPECT_EQ(list.Count(), 3);
    int width = 0, height = 0;
    ASSERT_TRUE(list.GetIconSize(width, height));
    EXPECT_EQ(width, 24);
    EXPECT_EQ(height, 24);
}
