// A leak check for GDI objects that works under Wine too.
#pragma once

#include <vector>
#include <windows.h>

// The number of GDI handle slots in use. Wine's GetGuiResources always answers 0, so it is found
// another way: GDI gives out freed slots first and new ones after, so of many probe objects made
// at once the highest slot, less the number of probes, is the count of slots that are taken
// (while fewer slots are free than there are probes). Repeat a piece of work many times and
// compare the count before and after.
inline unsigned gdiHandleWatermark()
{
    constexpr unsigned kProbes = 4096;
    std::vector<HBITMAP> probes;
    probes.reserve(kProbes);
    unsigned highest = 0;
    for (unsigned i = 0; i < kProbes; ++i) {
        const HBITMAP probe = CreateBitmap(1, 1, 1, 1, nullptr);
        if (!probe) break;
        probes.push_back(probe);
        const unsigned slot = LOWORD(reinterpret_cast<UINT_PTR>(probe));
        if (slot > highest) highest = slot;
    }
    for (const HBITMAP probe : probes) DeleteObject(probe);
    return highest >= probes.size() ? highest - static_cast<unsigned>(probes.size()) : 0;
}
