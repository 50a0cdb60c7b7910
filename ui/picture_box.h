// A control that shows one picture (the QR code, the avatar, the about picture) and plays animated
// GIFs on a player thread of its own, which can be paused and resumed.
#pragma once

#include <atomic>
#include <string>
#include <string_view>
#include <vector>

#include "ui/image_object.h"
#include "ui/private_messages.h"
#include "ui/window_object.h"

// One consistent reading of the player's state.
struct PlayerView {
    int index = 0;
    int frameCount = 0;
    std::vector<uint32_t> delays;
    bool running = false;
};

class PictureBox : public WindowObject {
public:
    PictureBox();

    bool Create(HWND parent, std::string_view text = {}, POINT position = {0, 0}, SIZE size = {120, 120}, DWORD style = 0);
    // The same with a font for the control (borrowed: the caller keeps and deletes it).
    bool Create(HWND parent, std::string_view text, POINT position, SIZE size, DWORD style, HFONT font);
    bool Attach(HWND window);
    // Takes over an item of a dialog (or any child with that id), with the default GUI font if asked.
    bool AttachDialogItem(HWND dialog, int itemId, bool setFont);

    // Every operation may be called from any thread: another thread's call is carried out on
    // the window's own thread (and waits for it), since the control's properties belong to it.
    // Without a window to carry it, another thread's call is dropped (a reader gets 0 or empty).
    ImageObject Image() const;
    void SetImage(const ImageObject& image);
    std::string ImageData() const;
    // Loads the bytes and shows them; false (and the old picture gone) when they are no picture.
    bool SetImageData(std::string_view bytes);
    int ShowImageType(int kind = 0, bool apply = false);
    // A picture scaled to the box is drawn smoothly (photos) or by whole pixels (the default: a QR code).
    void SetSmoothScaling(bool smooth);
    COLORREF BackColor(COLORREF color = 0, bool apply = false);
    bool PlayGif(bool play = false, bool apply = false);

    // What the player works from, read under its lock.
    int PlayIndex() const { return Player().index; }
    int PlayFrameCount() const { return Player().frameCount; }
    std::vector<uint32_t> PlayTimes() const { return Player().delays; }
    bool HasPlayer() const { return Player().running; }

private:
    PlayerView Player() const;

    // The window, kept apart from the property table so that another thread can find the
    // window's thread without reading the table.
    std::atomic<HWND> window_{nullptr};
};

intptr_t pictureBoxHandleMessage(WindowRecord* record, HWND window, UINT message, WPARAM wParam, LPARAM lParam, int* handled);
