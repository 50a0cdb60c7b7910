// A picture: one GDI+ image shared by every copy of the object, with the stream it was read from,
// both released when the last copy goes. Loaded from files or bytes (pictures from the network),
// measured, saved, converted and drawn. GDI+ must have been started (Application::Initialise).
#pragma once

#include <string>
#include <string_view>
#include <windows.h>

#include <objidl.h>

#include "ui/gdi_holders.h"
#include "ui/shared_record.h"

class ImageObject {
public:
    // Copies share the picture (see SharedRecord).
    ImageObject();
    ~ImageObject();
    ImageObject(const ImageObject& other);
    ImageObject& operator=(const ImageObject& other);
    ImageObject(ImageObject&& other) noexcept;
    ImageObject& operator=(ImageObject&& other) noexcept;

    // GpImage* of GDI+'s flat interface, or null.
    void* GetNativeImage() const;
    // Takes ownership of a GDI+ image.
    void AttachNative(void* image);
    // Lets go of the picture in every copy.
    void Dispose();

    bool LoadFile(std::wstring_view path);
    bool LoadFile(std::string_view path);
    // Anything that is not a whole picture fails and leaves the object empty.
    bool LoadBytes(std::string_view bytes);
    ImageObject Clone() const;
    // The raw format GUID in registry form, "{B96B3CAF-0728-11D3-9D7B-0000F81EF32E}" for PNG.
    std::string RawFormat() const;
    int PixelFormat() const;
    // Bytes in the encoder of the given format (registry-form GUID text; empty: its own format).
    std::string SaveBytes(std::string_view format = {}) const;
    bool Dimension(float& width, float& height) const;
    bool Bounds(float& x, float& y, float& width, float& height) const;
    int Width() const;
    int Height() const;
    float HorizontalResolution() const;
    float VerticalResolution() const;
    bool Thumbnail(int width, int height, ImageObject& target) const;
    // The whole picture drawn smoothly at that size (never an embedded thumbnail, which a
    // JPEG's EXIF data may carry and Windows may hand out for Thumbnail).
    bool Scaled(int width, int height, ImageObject& target) const;
    int FrameCount(std::string_view dimension) const;
    bool SelectFrame(std::string_view dimension, int index);
    // New GDI copies of the picture, owned by the caller; empty when there is no picture.
    UniqueBitmap ToHBITMAP(unsigned background = 0) const;
    UniqueIcon ToHICON() const;
    bool DrawBlt(HDC target, int x, int y, int width, int height, int sourceX = 0, int sourceY = 0, DWORD rop = SRCCOPY,
                 unsigned background = 0) const;
    // Source width or height -1: the whole picture.
    bool DrawAlpha(HDC target, int x, int y, int width, int height, int sourceX = 0, int sourceY = 0, int sourceWidth = -1,
                   int sourceHeight = -1, int alpha = 255, unsigned background = 0) const;

    bool IsEmpty() const { return GetNativeImage() == nullptr; }

    // Live shared records in the process (for leak checks).
    static long LiveRecords();

private:
    struct Record;
    SharedRecord<Record> record_;
};

// A stream over a copy of the bytes, freeing its memory when released; null on failure.
IStream* streamOver(std::string_view bytes);

// Registry-form GUID text to a GUID; false when the text is not one.
bool guidFromText(std::string_view text, GUID& guid);
std::string textFromGuid(const GUID& guid);
