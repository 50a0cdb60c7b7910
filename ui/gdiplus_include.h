// GDI+'s headers need COM's property types and min/max, which the program's lean Windows headers
// leave out.
#pragma once

#include <algorithm>
#include <objidl.h>
#include <windows.h>

namespace Gdiplus {
using std::max;
using std::min;
} // namespace Gdiplus

#include <gdiplus.h>
