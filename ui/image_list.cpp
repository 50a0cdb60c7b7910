#include "ui/image_list.h"

#include <atomic>
#include <objidl.h>

#include "text/encoding.h"

struct ImageListObject::Record {
    std::atomic<long> refs = 1;
    HIMAGELIST list = nullptr;

    void releaseResources() { destroy(); }
    void destroy()
    {
        if (list) ImageList_Destroy(list);
        list = nullptr;
    }
};

long ImageListObject::LiveRecords() { return SharedRecord<Record>::live(); }

ImageListObject::ImageListObject() = default;
ImageListObject::~ImageListObject() = default;
ImageListObject::ImageListObject(const ImageListObject& other) = default;
ImageListObject& ImageListObject::operator=(const ImageListObject& other) = default;

void ImageListObject::Destroy()
{
    if (record_) record_->destroy();
}

HIMAGELIST ImageListObject::Handle() const { return record_ ? record_->list : nullptr; }

void ImageListObject::Attach(HIMAGELIST list)
{
    Record* record = record_.ensure();
    record->destroy();
    record->list = list;
}

bool ImageListObject::Create(int width, int height, UINT flags, int initialCount)
{
    Attach(ImageList_Create(width, height, flags, initialCount, initialCount));
    return Handle() != nullptr;
}

bool ImageListObject::ReadBytes(std::string_view bytes, int headerKind)
{
    Destroy();
    if (headerKind == 1) bytes = bytes.size() >= 8 ? bytes.substr(8) : std::string_view();
    IStream* stream = streamOver(bytes);
    if (!stream) return false;
    Attach(ImageList_Read(stream));
    stream->Release();
    return Handle() != nullptr;
}

bool ImageListObject::Load(std::wstring_view file, int imageWidth, int grow, COLORREF mask)
{
    Attach(ImageList_LoadImageW(nullptr, std::wstring(file).c_str(), imageWidth, grow, mask, IMAGE_BITMAP, LR_LOADFROMFILE));
    return Handle() != nullptr;
}

int ImageListObject::AddIcon(HICON icon) { return ImageList_AddIcon(Handle(), icon); }

int ImageListObject::AddFile(std::wstring_view file, int kind)
{
    if (kind != -1 && kind != 0 && kind != 1) return -1;
    int width = 0, height = 0;
    if (kind == -1) GetIconSize(width, height);
    const UINT type = kind == 1 ? IMAGE_ICON : IMAGE_BITMAP;
    HANDLE loaded = LoadImageW(nullptr, std::wstring(file).c_str(), type, width, height, LR_LOADFROMFILE);
    if (!loaded) return -1;
    if (type == IMAGE_ICON) {
        const UniqueIcon icon(static_cast<HICON>(loaded));
        return ImageList_AddIcon(Handle(), icon.get());
    }
    const UniqueBitmap bitmap(static_cast<HBITMAP>(loaded));
    return ImageList_Add(Handle(), bitmap.get(), nullptr);
}

int ImageListObject::AddIconCopy(HICON icon)
{
    const UniqueIcon copy(CopyIcon(icon));
    if (!copy) return -1;
    return ImageList_AddIcon(Handle(), copy.get());
}

int ImageListObject::AddImage(const ImageObject& image, const ImageObject* mask)
{
    // Bitmaps made for adding are deleted right after: the list keeps copies.
    const UniqueBitmap bitmap = image.ToHBITMAP(0);
    const UniqueBitmap maskBitmap = mask ? mask->ToHBITMAP(0) : UniqueBitmap();
    if (!bitmap.get()) return -1;
    return ImageList_Add(Handle(), bitmap.get(), maskBitmap.get());
}

int ImageListObject::AddMasked(const ImageObject& image, COLORREF mask)
{
    const UniqueBitmap bitmap = image.ToHBITMAP(0);
    if (!bitmap.get()) return -1;
    return ImageList_AddMasked(Handle(), bitmap.get(), mask);
}

bool ImageListObject::CopyTo(ImageListObject& target, int targetIndex, int sourceIndex, UINT flags)
{
    return ImageList_Copy(target.Handle(), targetIndex, Handle(), sourceIndex, flags);
}

ImageListObject ImageListObject::Duplicate() const
{
    ImageListObject copy;
    if (HIMAGELIST list = ImageList_Duplicate(Handle())) copy.Attach(list);
    return copy;
}

bool ImageListObject::ReplaceIcon(int index, HICON icon) { return ImageList_ReplaceIcon(Handle(), index, icon) >= 0; }

bool ImageListObject::Replace(int index, const ImageObject& image, const ImageObject* mask)
{
    // Bitmaps made for adding are deleted right after: the list keeps copies.
    const UniqueBitmap bitmap = image.ToHBITMAP(0);
    const UniqueBitmap maskBitmap = mask ? mask->ToHBITMAP(0) : UniqueBitmap();
    return bitmap.get() && ImageList_Replace(Handle(), index, bitmap.get(), maskBitmap.get());
}

bool ImageListObject::Remove(int index) { return ImageList_Remove(Handle(), index); }

std::string ImageListObject::WriteBytes() const
{
    IStream* stream = nullptr;
    if (!Handle() || CreateStreamOnHGlobal(nullptr, TRUE, &stream) != S_OK) return {};
    std::string bytes;
    if (ImageList_Write(Handle(), stream)) {
        STATSTG stat{};
        HGLOBAL memory = nullptr;
        if (stream->Stat(&stat, STATFLAG_NONAME) == S_OK && GetHGlobalFromStream(stream, &memory) == S_OK) {
            if (const void* source = GlobalLock(memory)) {
                bytes.assign(static_cast<const char*>(source), static_cast<size_t>(stat.cbSize.QuadPart));
                GlobalUnlock(memory);
            }
        }
    }
    stream->Release();
    return bytes;
}

bool ImageListObject::Load(std::string_view file, int imageWidth, int grow, COLORREF mask)
{
    return Load(std::wstring_view(toUtf16(file)), imageWidth, grow, mask);
}

int ImageListObject::AddFile(std::string_view file, int kind) { return AddFile(std::wstring_view(toUtf16(file)), kind); }
