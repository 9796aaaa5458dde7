// The documentation string of `Drawer`, around the parameter lines that the parameter table
// gives (params.hpp).
#pragma once

namespace zarnu::drawer {

inline constexpr const char* class_doc_head = R"doc(A component that renders a drawer sliding in from a specified side.

The drawer is a frameless, translucent window laid over its anchor widget (the
application's main window by default). It holds a white content panel with a drop
shadow on the chosen side and a transparent overlay over the rest.

Parameters
----------
)doc";

inline constexpr const char* class_doc_tail = R"doc(*args, **kwargs
    Accepted and ignored.

Attributes
----------
VALID_ANCHOR : list of str
    The accepted values of `anchor`: ["bottom", "left", "right", "top"].
VALID_VARIANT : list of str
    The accepted values of `variant`: ["permanent", "persistent", "temporary"].

Notes
-----
- The drawer is built hidden; it opens through `showDrawer()` or a change of its
  `open` state, and closes through that state or `_close()`.
- While open, it follows the moves and resizes of its anchor widget.
- It restyles itself, and restores its default shadow, whenever the theme changes.
- Prop getters (`_get_<prop>`) return a `State`'s current value; the drawer's own
  operations use the stored objects as they are.

Demos
-----
- `python -m zarnu.demo` renders a drawer on each side in the light and dark themes.

API Reference
-------------
- `zarnu.material.drawer.drawer.Drawer`
- The props table and the opening and closing rules in the package's README.
)doc";

}  // namespace zarnu::drawer
