// Owners of what the window framework draws and shows with: GDI objects, memory device contexts,
// icons, cursors and shell item lists, each with its own release function; plus scope guards for a
// window's device context and for an object selected into a device context.
#pragma once

#include <shlobj.h>
#include <windows.h>

#include "tasks/unique_handle.h"

using UniqueBitmap = UniqueResource<HBITMAP, DeleteObject>;
using UniqueFont = UniqueResource<HFONT, DeleteObject>;
using UniqueBrush = UniqueResource<HBRUSH, DeleteObject>;
using UniqueGdiObject = UniqueResource<HGDIOBJ, DeleteObject>;
// Memory device contexts only: a window's own goes back through ReleaseDC (UniqueWindowDc).
using UniqueDc = UniqueResource<HDC, DeleteDC>;
using UniqueIcon = UniqueResource<HICON, DestroyIcon>;
using UniqueCursor = UniqueResource<HCURSOR, DestroyCursor>;
using UniqueItemList = UniqueResource<PIDLIST_ABSOLUTE, ILFree>;

// A window's device context (null: the screen's) for one scope. ReleaseDC needs the window too.
class UniqueWindowDc {
public:
    explicit UniqueWindowDc(HWND window) : window_(window), dc_(GetDC(window)) {}
    ~UniqueWindowDc()
    {
        if (dc_) ReleaseDC(window_, dc_);
    }
    UniqueWindowDc(const UniqueWindowDc&) = delete;
    UniqueWindowDc& operator=(const UniqueWindowDc&) = delete;

    HDC get() const { return dc_; }
    explicit operator bool() const { return dc_ != nullptr; }

private:
    HWND window_;
    HDC dc_;
};

// Selects an object into a device context for one scope and puts the previous one back, so the
// object can be deleted afterwards and the device context is left as it was found.
class SelectedObject {
public:
    SelectedObject(HDC dc, HGDIOBJ object) : dc_(dc), previous_(dc && object ? SelectObject(dc, object) : nullptr) {}
    ~SelectedObject()
    {
        if (previous_) SelectObject(dc_, previous_);
    }
    SelectedObject(const SelectedObject&) = delete;
    SelectedObject& operator=(const SelectedObject&) = delete;

    // False when nothing was selected.
    explicit operator bool() const { return previous_ != nullptr; }

private:
    HDC dc_;
    HGDIOBJ previous_;
};
