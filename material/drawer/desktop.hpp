// The drawer window on a desktop: its relation to the host's window, its input region, its
// placement kept on the anchor, and the window manager's close (desktop.cpp).
#pragma once

#include "methods.hpp"

namespace zarnu::drawer::desktop {

// Whether the drawer lives inside its anchor's top-level window rather than in a window of its
// own: where the platform cannot place a client's top-level windows. 1, 0 or -1.
int embedded();

// Makes the drawer a child of its anchor's top-level window when it is not one yet, and gives
// the global `point` in that window's coordinates (the point itself when the anchor element is
// no widget). Null with an exception set on failure.
Ref embed(PyObject* self, PyObject* point);

// A resize or move of `source`, a watched object other than the anchor element: the drawer's
// own (re-placed when off its anchor) or the splitter handle's (input region). 0 or -1.
int on_geometry(PyObject* self, PyObject* source);

// An event of the drawer's own that the filter has read the type `kind` of, and that is no
// mouse button press or handled release: a show sets the native window up, a spontaneous
// close goes through `_close()`. 0 or -1.
int on_own_event(PyObject* self, PyObject* event, PyObject* kind);

}  // namespace zarnu::drawer::desktop
