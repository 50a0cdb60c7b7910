// A control that shows one picture (the QR code, the avatar, the about picture) and plays animated
// GIFs on a player thread of its own, which can be paused and resumed.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "ui/image_object.h"
#include "ui/window_object.h"

constexpr UINT kShowFrameMessage = WM_USER + 0x400;
constexpr UINT kSetPictureMessage = WM_USER + 0x401;  // lParam: const ImageObject*

class PictureBox : public WindowObject {
public:
    PictureBox();

    bool Create(HWND parent, std::string_view text = {}, POINT position = {0, 0}, SIZE size = {120, 120}, DWORD style = 0);
    // The same with a font for the control (borrowed: the caller keeps and deletes it).
    bool Create(HWND parent, std::string_view text, POINT position, SIZE size, DWORD style, HFONT font);
    bool Attach(HWND window);
    // Takes over an item of a dialog (or any child with that id), with the default GUI font if asked.
    bool AttachDialogItem(HWND dialog, int itemId, bool setFont);

    ImageObject Image() const;
    // From any thread: another thread's call is carried out on the window's own thread, since
    // the control's properties belong to it.
    void SetImage(const ImageObject& image);
    std::string ImageData() const;
    // Loads the bytes and shows them; false (and the old picture gone) when they are no picture.
    bool SetImageData(std::string_view bytes);
    int ShowImageType(int kind = 0, bool apply = false);
    COLORREF BackColor(COLORREF color = 0, bool apply = false);
    bool PlayGif(bool play = false, bool apply = false);

    // What the player works from, read under its lock.
    int PlayIndex() const;
    int PlayFrameCount() const;
    std::vector<uint32_t> PlayTimes() const;
    bool HasPlayer() const;
};

intptr_t pictureBoxHandleMessage(WindowRecord* record, HWND window, UINT message, WPARAM wParam, LPARAM lParam, int* handled);
