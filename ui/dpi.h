// The window's DPI and what follows from it: lengths given at 96 DPI scaled to it, and the
// message font made for it. The newer calls are looked up at run time, so the program still
// starts where they are missing (it then works at the system DPI).
#pragma once

#include <windows.h>

inline constexpr UINT kBaseDpi = 96;

// Lengths laid out at 96 DPI, scaled to another DPI and truncated toward zero.
class DpiScale {
public:
    explicit DpiScale(UINT dpi = kBaseDpi) : dpi_(dpi ? dpi : kBaseDpi) {}

    UINT dpi() const { return dpi_; }
    double factor() const { return static_cast<double>(dpi_) / kBaseDpi; }
    int operator()(double length) const { return static_cast<int>(length * factor()); }

private:
    UINT dpi_;
};

// The DPI the system lays new windows out for (the primary monitor's).
[[nodiscard]] UINT systemDpi();
// The DPI of the monitor the window is on.
[[nodiscard]] UINT windowDpi(HWND window);
// The message font of the non-client metrics for that DPI; the caller owns it (null on failure).
[[nodiscard]] HFONT createMessageFont(UINT dpi);
