#pragma once

#include "win32_api.h"
#include "window_table.h"

namespace portauth::win32 {

// The answer to a box's WM_GETOBJECT: for its client area, the system's own
// accessible object for an EDIT, with the spoken name and description of
// window_rules.h. 0 leaves the answer to the system, as for other objects.
LRESULT AccessibleBox(HWND box, ui::ControlId id, WPARAM flags, LPARAM objectId);

} // namespace portauth::win32
