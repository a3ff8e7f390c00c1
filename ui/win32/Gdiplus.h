// GDI+ for the skin: its headers want min and max in scope, and the COM
// property types that a lean windows.h leaves out.
#pragma once

#include <windows.h>

#include <objidl.h>
#include <propidl.h>

#include <algorithm>
namespace Gdiplus {
using std::max;
using std::min;
}  // namespace Gdiplus

// clang-format off
#include <gdiplus.h>
// clang-format on
