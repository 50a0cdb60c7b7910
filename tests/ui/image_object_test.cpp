// Pictures through GDI+ and image lists through the common controls, as Wine provides them.
#include "ui/application.h"
#include "ui/gdiplus_include.h"
#include "ui/image_list.h"
#include "ui/image_object.h"

#include <gtest/gtest.h>

#include "tests/support/gdi_watermark.h"

using namespace Gdiplus::DllExports;

namespace {

const char* kPngFormat = "{B96B3CAF-0728-11D3-9D7B-0000F81EF32E}";

// A picture made with GDI+ directly (not through ImageObject), encoded as PNG.
std::string makePng(int width, int height, Gdiplus::ARGB colour)
{
    Gdiplus::GpBitmap* bitmap = nullptr;
    GdipCreateBitmapFromScan0(width, height, 0, PixelFormat32bppARGB, nullptr, &bitmap);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) GdipBitmapSetPixel(bitmap, x, y, colour);
    UINT count = 0, size = 0;
    GdipGetImageEncodersSize(&count, &size);
    std::vector<char> buffer(size);
    auto* encoders = reinterpret_cast<Gdiplus::ImageCodecInfo*>(buffer.data());
    GdipGetImageEncoders(count, size, encoders);
    CLSID png{};
    for (UINT i = 0; i < count; ++i)
        if (textFromGuid(encoders[i].FormatID) == kPngFormat) png = encoders[i].Clsid;
    IStream* stream = nullptr;
    CreateStreamOnHGlobal(nullptr, TRUE, &stream);
    GdipSaveImageToStream(bitmap, stream, &png, nullptr);
    STATSTG stat{};
    stream->Stat(&stat, STATFLAG_NONAME);
    HGLOBAL memory = nullptr;
    GetHGlobalFromStream(stream, &memory);
    std::string bytes(static_cast<const char*>(GlobalLock(memory)), static_cast<size_t>(stat.cbSize.QuadPart));
    GlobalUnlock(memory);
    stream->Release();
    GdipDisposeImage(bitmap);
    return bytes;
}

class Pictures : public ::testing::Test {
protected:
    static void SetUpTestSuite() { Application::Initialise(); }
};

} // namespace

TEST_F(Pictures, LoadsPngBytesWithSizeAndFormat)
{
    const std::string png = makePng(200, 271, 0xFF336699);
    ImageObject image;
    {
        std::string transient = png;
        ASSERT_TRUE(image.LoadBytes(transient));
    }  // the bytes passed in may go at once
    EXPECT_EQ(image.Width(), 200);
    EXPECT_EQ(image.Height(), 271);
    EXPECT_EQ(image.RawFormat(), kPngFormat);
    float width = 0, height = 0;
    EXPECT_TRUE(image.Dimension(width, height));
    EXPECT_EQ(width, 200.0f);
}

TEST_F(Pictures, BytesThatAreNoWholePictureFailAndLeaveItEmpty)
{
    const std::string png = makePng(64, 64, 0xFF00FF00);
    ImageObject image;
    ASSERT_TRUE(image.LoadBytes(png));
    EXPECT_FALSE(image.LoadBytes("this is not a picture at all"));
    EXPECT_TRUE(image.IsEmpty());
    EXPECT_EQ(image.Width(), 0);
    EXPECT_FALSE(image.LoadBytes(""));
    EXPECT_FALSE(image.LoadBytes(png.substr(0, png.size() / 2)));
    EXPECT_TRUE(image.IsEmpty());
    EXPECT_FALSE(image.LoadBytes(png.substr(0, 30)));
    EXPECT_TRUE(image.SaveBytes().empty());
    EXPECT_EQ(image.ToHBITMAP().get(), nullptr);
}

TEST_F(Pictures, SavesInItsOwnFormatAndLoadsBack)
{
    ImageObject image;
    ASSERT_TRUE(image.LoadBytes(makePng(40, 30, 0xFFFF0000)));
    const std::string saved = image.SaveBytes();
    ASSERT_FALSE(saved.empty());
    EXPECT_EQ(saved.substr(1, 3), "PNG");
    EXPECT_EQ(saved.substr(saved.size() - 8, 4), "IEND");  // nothing after the picture's end
    ImageObject again;
    ASSERT_TRUE(again.LoadBytes(saved));
    EXPECT_EQ(again.Width(), 40);
    EXPECT_TRUE(image.SaveBytes("{00000000-0000-0000-0000-000000000000}").empty());
}

TEST_F(Pictures, ThumbnailsClonesAndBitmaps)
{
    ImageObject image;
    ASSERT_TRUE(image.LoadBytes(makePng(100, 50, 0xFF0000FF)));
    ImageObject thumbnail;
    ASSERT_TRUE(image.Thumbnail(20, 10, thumbnail));
    EXPECT_EQ(thumbnail.Width(), 20);
    ImageObject clone = image.Clone();
    image.Dispose();
    EXPECT_EQ(clone.Width(), 100);
    const UniqueBitmap bitmap = clone.ToHBITMAP();
    ASSERT_NE(bitmap.get(), nullptr);
    HDC dc = CreateCompatibleDC(nullptr);
    HGDIOBJ previous = SelectObject(dc, bitmap.get());
    EXPECT_EQ(GetPixel(dc, 5, 5), RGB(0, 0, 255));
    SelectObject(dc, previous);
    DeleteDC(dc);
}

TEST_F(Pictures, DrawsOntoADeviceContext)
{
    ImageObject image;
    ASSERT_TRUE(image.LoadBytes(makePng(10, 10, 0xFF00FF00)));
    HDC screen = GetDC(nullptr);
    HDC dc = CreateCompatibleDC(screen);
    HBITMAP target = CreateCompatibleBitmap(screen, 20, 20);
    ReleaseDC(nullptr, screen);
    HGDIOBJ previous = SelectObject(dc, target);
    EXPECT_TRUE(image.DrawBlt(dc, 5, 5, 10, 10));
    EXPECT_EQ(GetPixel(dc, 6, 6), RGB(0, 255, 0));
    EXPECT_TRUE(image.DrawAlpha(dc, 0, 0, 4, 4));  // the whole picture, shrunk
    EXPECT_EQ(GetPixel(dc, 1, 1), RGB(0, 255, 0));
    SelectObject(dc, previous);
    DeleteObject(target);
    DeleteDC(dc);
}

TEST_F(Pictures, CopiesShareOneRecordReleasedWithTheLast)
{
    const long before = ImageObject::LiveRecords();
    {
        ImageObject first;
        ASSERT_TRUE(first.LoadBytes(makePng(8, 8, 0xFF000000)));
        ImageObject second = first;
        EXPECT_EQ(second.GetNativeImage(), first.GetNativeImage());
        EXPECT_EQ(ImageObject::LiveRecords(), before + 1);
        {
            ImageObject third(second);
        }
        EXPECT_EQ(first.Width(), 8);
    }
    EXPECT_EQ(ImageObject::LiveRecords(), before);
}

TEST_F(Pictures, GdiObjectsDoNotLeak)
{
    ImageObject image;
    ASSERT_TRUE(image.LoadBytes(makePng(32, 32, 0xFF123456)));
    HDC dc = CreateCompatibleDC(nullptr);
    auto exercise = [&](int rounds) {
        for (int i = 0; i < rounds; ++i) image.DrawBlt(dc, 0, 0, 8, 8);
        for (int i = 0; i < rounds; ++i) image.ToHICON();  // each icon goes with its owner
        ImageListObject list;
        list.Create(32, 32);
        for (int i = 0; i < rounds; ++i) list.AddImage(image);
    };
    exercise(1);  // first uses set up caches of their own, once
    const unsigned before = gdiHandleWatermark();
    exercise(100);
    EXPECT_LE(gdiHandleWatermark(), before + 2);
    DeleteDC(dc);
}

TEST_F(Pictures, ImageListBasics)
{
    ImageListObject list;
    ASSERT_TRUE(list.Create(140, 140));
    int width = 0, height = 0;
    EXPECT_TRUE(list.GetIconSize(width, height));
    EXPECT_EQ(width, 140);
    ImageObject cover;
    ASSERT_TRUE(cover.LoadBytes(makePng(140, 140, 0xFF808080)));
    EXPECT_EQ(list.AddImage(cover), 0);
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(list.AddFile(L"C:\\nothing.bmp", 2), -1);
    EXPECT_EQ(list.Count(), 1);
    EXPECT_EQ(list.AddImage(cover), 1);

    const std::string bytes = list.WriteBytes();
    ASSERT_FALSE(bytes.empty());
    ImageListObject restored;
    EXPECT_TRUE(restored.ReadBytes(bytes, 0));
    EXPECT_EQ(restored.Count(), 2);
    EXPECT_FALSE(restored.ReadBytes("garbage", 0));

    EXPECT_TRUE(list.Remove(-1));
    EXPECT_EQ(list.Count(), 0);
    ImageListObject shared = list;
    EXPECT_EQ(shared.Handle(), list.Handle());
}
