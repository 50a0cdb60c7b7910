#include "text/picture_end.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <initializer_list>
#include <string>

namespace {

// Small pictures put together byte by byte: the structure is right, the contents need not decode.
std::string bytes(std::initializer_list<int> values)
{
    std::string result;
    for (const int value : values) result.push_back(static_cast<char>(value));
    return result;
}

std::string little32(uint32_t value)
{
    return bytes({int(value & 0xFF), int(value >> 8 & 0xFF), int(value >> 16 & 0xFF), int(value >> 24)});
}

std::string big32(uint32_t value)
{
    return bytes({int(value >> 24), int(value >> 16 & 0xFF), int(value >> 8 & 0xFF), int(value & 0xFF)});
}

// A JPEG segment: marker, length counting itself, payload.
std::string segment(int code, const std::string& payload)
{
    const size_t length = payload.size() + 2;
    return bytes({0xFF, code, int(length >> 8), int(length & 0xFF)}) + payload;
}

const std::string soi = bytes({0xFF, 0xD8});
const std::string eoi = bytes({0xFF, 0xD9});

std::string jpegHeaders(int frameCode)
{
    return soi + segment(0xE0, "JFIF" + bytes({0, 1, 1, 0, 0, 1, 0, 1, 0, 0})) +
           segment(0xDB, bytes({0}) + std::string(64, '\x01')) +
           segment(frameCode, bytes({8, 0, 1, 0, 1, 1, 1, 0x11, 0})) +
           segment(0xC4, bytes({0, 1}) + std::string(15, '\0') + bytes({0})) +
           segment(0xDD, bytes({0, 1}));
}

const std::string scanHeader = segment(0xDA, bytes({1, 1, 0, 0, 0x3F, 0}));

// Entropy-coded data with stuffing and a restart marker between its intervals.
const std::string entropy = bytes({0x12, 0x34, 0xFF, 0x00, 0x56, 0xFF, 0xD0, 0x78, 0x9A, 0xFF, 0x00});

std::string baselineJpeg() { return jpegHeaders(0xC0) + scanHeader + entropy + eoi; }

// Two scans with a table between them, a TEM marker and fill bytes before the end.
std::string progressiveJpeg()
{
    return soi + bytes({0xFF, 0x01}) + jpegHeaders(0xC2).substr(2) + scanHeader + entropy +
           segment(0xC4, bytes({0x10, 1}) + std::string(15, '\0') + bytes({0})) + scanHeader +
           bytes({0xAB, 0xFF, 0x00, 0xFF, 0xD7, 0xCD}) + bytes({0xFF, 0xFF}) + eoi;
}

std::string pngChunk(const std::string& type, const std::string& data)
{
    return big32(static_cast<uint32_t>(data.size())) + type + data + big32(0xDEADBEEF);
}

const std::string pngSignature = bytes({0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A});

std::string png()
{
    return pngSignature + pngChunk("IHDR", big32(1) + big32(1) + bytes({8, 0, 0, 0, 0})) +
           pngChunk("IDAT", bytes({0x78, 0x9C, 0x63, 0x60, 0, 0, 0, 2, 0, 1})) + pngChunk("IEND", "");
}

// A global colour table of two entries, a graphic control and a comment extension, and two
// images, the second with a local table of four entries.
std::string gif()
{
    return "GIF89a" + bytes({1, 0, 1, 0, 0x80, 0, 0}) + std::string(6, '\x7F') +
           bytes({0x21, 0xF9, 4, 1, 0, 0, 0, 0}) + bytes({0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0}) +
           bytes({2, 2, 0x4C, 0x01, 0}) + bytes({0x21, 0xFE, 3, 'a', 'b', 'c', 0}) +
           bytes({0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0x81}) + std::string(12, '\x20') +
           bytes({2, 3, 0x44, 0x01, 0x05, 0}) + bytes({0x3B});
}

std::string webp()
{
    const std::string payload = "VP8L" + little32(6) + bytes({0x2F, 0, 0, 0, 0, 0x07});
    return "RIFF" + little32(static_cast<uint32_t>(4 + payload.size())) + "WEBP" + payload;
}

std::string bmp()
{
    // File header, 12-byte core header (1x1, 24 bits), one padded row.
    return "BM" + little32(30) + little32(0) + little32(26) + little32(12) + bytes({1, 0, 1, 0, 1, 0, 24, 0}) +
           bytes({0x10, 0x20, 0x30, 0});
}

void expectCompleteAndEveryPrefixCut(const std::string& picture)
{
    EXPECT_EQ(pictureEnd(picture), PictureEnd::Complete);
    for (size_t length = 1; length < picture.size(); ++length)
        EXPECT_EQ(pictureEnd(std::string_view(picture).substr(0, length)), PictureEnd::Cut)
            << "cut to " << length << " of " << picture.size() << " bytes";
}

} // namespace

TEST(PictureEnd, WholePicturesAreCompleteAndEveryPrefixIsCut)
{
    for (const std::string& picture : {baselineJpeg(), progressiveJpeg(), png(), gif(), webp(), bmp()}) {
        SCOPED_TRACE(picture.substr(0, 4));
        expectCompleteAndEveryPrefixCut(picture);
    }
    // A GIF87a without a global table, and a PNG with an IEND carrying data.
    expectCompleteAndEveryPrefixCut("GIF87a" + bytes({1, 0, 1, 0, 0, 0, 0, 0x2C, 0, 0, 0, 0, 1, 0, 1, 0, 0, 2, 1, 0, 0, 0x3B}));
    expectCompleteAndEveryPrefixCut(pngSignature + pngChunk("IEND", "xy"));
}

TEST(PictureEnd, BytesAfterTheEndAreAllowed)
{
    const std::string junk = bytes({0xFF, 0xD8, 0x00, 0x12, 0xFF});
    for (const std::string& picture : {baselineJpeg(), progressiveJpeg(), png(), gif(), webp(), bmp()})
        EXPECT_EQ(pictureEnd(picture + junk), PictureEnd::Complete) << picture.substr(0, 4);
}

TEST(PictureEnd, JpegEndMarkerInsideASegmentIsNotTheEnd)
{
    // An APP1 block whose data holds FF D9 (as an embedded thumbnail's would), then the rest.
    const std::string app1 = segment(0xE1, "Exif" + bytes({0, 0, 0xFF, 0xD8, 0xFF, 0x00, 0xFF, 0xD9}));
    const std::string picture = soi + app1 + jpegHeaders(0xC0).substr(2) + scanHeader + entropy + eoi;
    EXPECT_EQ(pictureEnd(picture), PictureEnd::Complete);
    // Cut right after the block: its last two bytes are FF D9.
    const std::string cut = soi + app1;
    ASSERT_EQ(cut.substr(cut.size() - 2), eoi);
    EXPECT_EQ(pictureEnd(cut), PictureEnd::Cut);
    EXPECT_EQ(pictureEnd(cut + bytes({0xFF, 0xDB})), PictureEnd::Cut);
    // And a scan's restart marker is no end either.
    EXPECT_EQ(pictureEnd(jpegHeaders(0xC0) + scanHeader + bytes({0x11, 0xFF, 0xD3})), PictureEnd::Cut);
}

TEST(PictureEnd, BrokenStructureIsCut)
{
    const std::string headers = jpegHeaders(0xC0);
    EXPECT_EQ(pictureEnd(headers + bytes({0x00}) + eoi), PictureEnd::Cut);         // no marker where one must be
    EXPECT_EQ(pictureEnd(soi + bytes({0xFF, 0xE0, 0x00, 0x01}) + eoi), PictureEnd::Cut); // length below 2
    EXPECT_EQ(pictureEnd(soi + bytes({0xFF, 0x00}) + eoi), PictureEnd::Cut);       // stuffing outside a scan
    EXPECT_EQ(pictureEnd(soi + soi + eoi), PictureEnd::Cut);                       // a second start
    EXPECT_EQ(pictureEnd(soi + bytes({0xFF, 0xE0, 0xFF, 0xFF}) + eoi), PictureEnd::Cut); // length past the end
    EXPECT_EQ(pictureEnd(soi + eoi), PictureEnd::Complete);

    // A PNG chunk length near 2^32 must not wrap around: added up in 32 bits, this one would skip
    // eleven bytes and land on the IEND.
    EXPECT_EQ(pictureEnd(pngSignature + big32(0xFFFFFFFF) + "IDAT" + "xyz" + pngChunk("IEND", "")), PictureEnd::Cut);
    EXPECT_EQ(pictureEnd(pngSignature + big32(0xFFFFFFF8) + "IEND" + std::string(64, 'x')), PictureEnd::Cut);

    // A GIF block byte that is neither image, extension nor trailer.
    const std::string whole = gif();
    EXPECT_EQ(pictureEnd(whole.substr(0, whole.size() - 1) + bytes({0x99, 0x3B})), PictureEnd::Cut);
    // A global colour table (256 entries) longer than the body.
    EXPECT_EQ(pictureEnd("GIF89a" + bytes({1, 0, 1, 0, 0x87, 0, 0}) + std::string(700, '\0') + bytes({0x3B})),
              PictureEnd::Cut);
}

TEST(PictureEnd, HeaderSizes)
{
    // WebP and BMP go by the size in their header, whatever follows.
    const std::string riff = "RIFF" + little32(100) + "WEBP";
    EXPECT_EQ(pictureEnd(riff + std::string(95, 'x')), PictureEnd::Cut);
    EXPECT_EQ(pictureEnd(riff + std::string(96, 'x')), PictureEnd::Complete);
    EXPECT_EQ(pictureEnd("RIFF" + little32(0xFFFFFFFF) + "WEBP" + std::string(16, 'x')), PictureEnd::Cut);
    EXPECT_EQ(pictureEnd("BM" + little32(26) + std::string(19, 'x')), PictureEnd::Cut);
    EXPECT_EQ(pictureEnd("BM" + little32(26) + std::string(20, 'x')), PictureEnd::Complete);
    EXPECT_EQ(pictureEnd("BM" + little32(0xFFFFFFFF) + std::string(40, 'x')), PictureEnd::Cut);
    // A size field no BMP can have.
    EXPECT_EQ(pictureEnd("BM" + little32(0) + std::string(40, 'x')), PictureEnd::UnknownFormat);
    EXPECT_EQ(pictureEnd("BM" + little32(25) + std::string(40, 'x')), PictureEnd::UnknownFormat);
}

TEST(PictureEnd, FormatsNotRecognised)
{
    EXPECT_EQ(pictureEnd(""), PictureEnd::UnknownFormat);
    EXPECT_EQ(pictureEnd("<html><body>Not Found</body></html>"), PictureEnd::UnknownFormat);
    EXPECT_EQ(pictureEnd("{\"ok\":false}"), PictureEnd::UnknownFormat);
    EXPECT_EQ(pictureEnd(bytes({0xFF, 0xD8, 0xFE}) + eoi), PictureEnd::UnknownFormat);
    EXPECT_EQ(pictureEnd("GIF90a" + std::string(20, '\0') + ";"), PictureEnd::UnknownFormat);
    EXPECT_EQ(pictureEnd("RIFF" + little32(4) + "WAVE"), PictureEnd::UnknownFormat);
    EXPECT_EQ(pictureEnd(bytes({0x89, 'P', 'N', 'g', 0x0D, 0x0A, 0x1A, 0x0A}) + pngChunk("IEND", "")),
              PictureEnd::UnknownFormat);
    EXPECT_EQ(pictureEnd("BX"), PictureEnd::UnknownFormat);
    // Too short to tell, but the start of a picture.
    EXPECT_EQ(pictureEnd(bytes({0xFF})), PictureEnd::Cut);
    EXPECT_EQ(pictureEnd(bytes({0xFF, 0xD8})), PictureEnd::Cut);
    EXPECT_EQ(pictureEnd("GIF8"), PictureEnd::Cut);
    EXPECT_EQ(pictureEnd("RIFF" + little32(4) + "WE"), PictureEnd::Cut);
    EXPECT_EQ(pictureEnd("BM" + bytes({30, 0})), PictureEnd::Cut);
}

TEST(PictureEnd, PagesAndErrorObjectsAreNoPictures)
{
    EXPECT_TRUE(isTextPage("{\"code\":\"100001\",\"msg\":\"busy\"}"));
    EXPECT_TRUE(isTextPage(" \r\n<!DOCTYPE html><html><body>busy</body></html>"));
    EXPECT_TRUE(isTextPage("[]"));
    EXPECT_TRUE(isTextPage("\xEF\xBB\xBF{\"code\":\"100001\"}"));
    // Pictures stay pictures, whole or cut, and bodies of no known kind are not judged.
    EXPECT_FALSE(isTextPage(bytes({0xFF, 0xD8, 0xFF, 0xDA})));
    EXPECT_FALSE(isTextPage(bytes({0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A})));
    EXPECT_FALSE(isTextPage(std::string_view("II*\0<tiff>", 10)));
    EXPECT_FALSE(isTextPage(""));
    EXPECT_FALSE(isTextPage("   "));
}
