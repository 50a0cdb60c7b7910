// A leak check for GDI objects that works under Wine too.
#pragma once

#include <windows.h>

// Wine's GetGuiResources always answers 0, so leaks are seen another way: GDI hands out the
// lowest free slot of its handle table, and every leaked object keeps one slot taken. Repeat a
// piece of work many times and compare the watermark before and after.
inline unsigned gdiHandleWatermark()
{
    HBITMAP probe = CreateBitmap(1, 1, 1, 32, nullptr);
    const unsigned slot = LOWORD(reinterpret_cast<UINT_PTR>(probe));
    DeleteObject(probe);
    return slot;
}
