// The painted background of a top-level window: a colour, a picture or both, drawn through an
// off-screen buffer so that it never flickers.
#pragma once

#include "ui/image_object.h"
#include "ui/window_record.h"

// Where a picture of w x h lands when fitted, keeping its proportions, into a width x height area.
RECT aspectFitRect(int w, int h, int width, int height);

// WM_ERASEBKGND: true when it painted (only when the window has a background colour or picture).
bool paintBackground(WindowRecord* record, HWND window, HDC dc);

// The picture the window holds (null when none); the window keeps its own reference.
const ImageObject* backgroundImage(WindowRecord* record);
void setBackgroundImage(WindowRecord* record, const ImageObject* image);
void releaseBackground(WindowRecord* record);

// The background accessors of every window that paints one: answer the previous value and,
// with `apply`, store the new one and repaint the window.
COLORREF backColorAccess(WindowRecord* record, COLORREF color, bool apply);
int showImageTypeAccess(WindowRecord* record, int kind, bool apply);
ImageObject backImageAccess(WindowRecord* record, const ImageObject* image, bool apply);

// 0xAARRGGBB as stored from and to the COLORREF the program passes.
intptr_t argbFromColorref(COLORREF color);
COLORREF colorrefFromArgb(intptr_t argb);
