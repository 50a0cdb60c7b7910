// One image list of the common controls (HIMAGELIST), shared by every copy of the object and
// destroyed with the last; the album list's covers live in one.
#pragma once

#include <string>
#include <string_view>
#include <windows.h>
#include <objidl.h>  // before commctrl.h, for ImageList_Read and ImageList_Write
#include <commctrl.h>

#include "ui/image_object.h"
#include "ui/shared_record.h"

class ImageListObject {
public:
    // Copies share the list (see SharedRecord).
    ImageListObject();
    ~ImageListObject();
    ImageListObject(const ImageListObject& other);
    ImageListObject& operator=(const ImageListObject& other);

    void Destroy();
    HIMAGELIST Handle() const;
    // Takes ownership of the list.
    void Attach(HIMAGELIST list);
    bool Create(int width, int height, UINT flags = ILC_COLOR32 | ILC_MASK, int initialCount = 0);
    // Header kind 1 (the default): the first 8 bytes are not part of the list.
    bool ReadBytes(std::string_view bytes, int headerKind = 1);
    bool Load(std::wstring_view file, int imageWidth, int grow, COLORREF mask = CLR_NONE);
    // The same with the file name in program text.
    bool Load(std::string_view file, int imageWidth, int grow, COLORREF mask = CLR_NONE);
    int AddIcon(HICON icon);
    // kind 0 bitmap, 1 icon, -1 (not given) bitmap at the list's size; other kinds add nothing.
    int AddFile(std::wstring_view file, int kind = -1);
    int AddFile(std::string_view file, int kind = -1);
    int AddIconCopy(HICON icon);
    int AddImage(const ImageObject& image, const ImageObject* mask = nullptr);
    int AddMasked(const ImageObject& image, COLORREF mask);
    bool CopyTo(ImageListObject& target, int targetIndex, int sourceIndex, UINT flags);
    ImageListObject Duplicate() const;
    // A copy of the list as a raw handle, which the caller owns (ImageList_Destroy).
    HIMAGELIST DuplicateHandle() const { return ImageList_Duplicate(Handle()); }
    bool ReplaceIcon(int index, HICON icon);
    bool Replace(int index, const ImageObject& image, const ImageObject* mask = nullptr);
    bool Remove(int index);
    COLORREF GetBkColor() const { return ImageList_GetBkColor(Handle()); }
    COLORREF SetBkColor(COLORREF color) { return ImageList_SetBkColor(Handle(), color); }
    // The caller owns the icon.
    HICON GetIcon(int index, UINT flags = ILD_NORMAL) const { return ImageList_GetIcon(Handle(), index, flags); }
    bool GetIconSize(int& width, int& height) const { return ImageList_GetIconSize(Handle(), &width, &height); }
    bool SetIconSize(int width, int height) { return ImageList_SetIconSize(Handle(), width, height); }
    int Count() const { return ImageList_GetImageCount(Handle()); }
    bool SetCount(UINT count) { return ImageList_SetImageCount(Handle(), count); }
    bool GetImageInfo(int index, IMAGEINFO& info) const { return ImageList_GetImageInfo(Handle(), index, &info); }
    std::string WriteBytes() const;
    bool Draw(int index, HDC dc, int x, int y, UINT style = ILD_NORMAL) const { return ImageList_Draw(Handle(), index, dc, x, y, style); }
    bool DrawEx(int index, HDC dc, int x, int y, int width, int height, COLORREF background = CLR_NONE,
                COLORREF foreground = CLR_NONE, UINT style = ILD_NORMAL) const
    {
        return ImageList_DrawEx(Handle(), index, dc, x, y, width, height, background, foreground, style);
    }

    // The system's single drag image, started from one image of this list.
    bool BeginDrag(int index, int hotspotX, int hotspotY) { return ImageList_BeginDrag(Handle(), index, hotspotX, hotspotY); }
    static bool DragEnter(HWND window, int x, int y) { return ImageList_DragEnter(window, x, y); }
    static bool DragShow(bool show) { return ImageList_DragShowNolock(show); }
    static bool DragMove(int x, int y) { return ImageList_DragMove(x, y); }
    static bool DragLeave(HWND window) { return ImageList_DragLeave(window); }
    static void EndDrag() { ImageList_EndDrag(); }

    static long LiveRecords();

private:
    struct Record;
    SharedRecord<Record> record_;
};
