// Pages on a tab control under a visual style: the tab control's body drawn behind them, as a
// dialog on a tab gets it, and their labels drawn over it without a box of their own colour.
// Without a visual style (classic Windows, Wine by default) nothing changes.
#pragma once

#include <windows.h>

// The tab body behind a page whose parent is a tab control; false when there is no visual
// style or the page is not on a tab control (the caller erases as before).
[[nodiscard]] bool paintTabBody(HWND page, HDC dc);
// For a label's WM_CTLCOLORSTATIC: its parent's background drawn under it and the text made
// transparent; false when its parent is no themed tab page (the caller colours as before).
[[nodiscard]] bool drawOverParentBackground(HWND label, HDC dc);
