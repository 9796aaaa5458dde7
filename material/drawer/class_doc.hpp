// The documentation string of `Drawer`.
#pragma once

namespace zarnu::drawer {

inline constexpr const char* class_doc = R"doc(A component that renders a drawer sliding in from a specified side.

The drawer is a frameless, translucent window laid over its anchor widget (the
application's main window by default). It holds a white content panel with a drop
shadow on the chosen side and a transparent overlay over the rest.

Parameters
----------
parent : QWidget, optional
    The Qt parent of the drawer. Default: None.
title : str, Callable or State, optional
    The drawer's title. It is stored and returned by `_get_title`; no widget shows it.
    Default: "Drawer".
    Can be a `State` object for dynamic updates.
anchor : str or State, optional
    The side the panel sits on: one of "bottom", "left", "right", "top".
    Default: "right".
    Can be a `State` object for dynamic updates.
anchorEl : QWidget or State, optional
    The widget the drawer window covers and follows. Default: None, which means the
    application's main window (`QApplication.instance().mainWindow`).
    Can be a `State` object for dynamic updates.
children : QWidget, list of QWidget or State, optional
    The widgets stacked top to bottom in the content panel. Default: None.
    Can be a `State` object for dynamic updates.
classes : dict or State, optional
    Style classes of the component. Default: None.
    Can be a `State` object for dynamic updates.
elevation : int or State, optional
    The elevation of the panel. Default: 16.
    Can be a `State` object for dynamic updates.
hideBackdrop : bool or State, optional
    Whether the backdrop is hidden. Default: False.
    Can be a `State` object for dynamic updates.
ModalProps : dict or State, optional
    Props of the modal layer. Default: a new empty dict.
    Can be a `State` object for dynamic updates.
onClose : Callable or State, optional
    Called with no arguments after `_close` has hidden the drawer. Default: None.
    Can be a `State` object for dynamic updates.
open : State
    Drives the drawer: a change to a true value opens a hidden drawer (and hides a
    visible one), a change to a false value hides it. Required: a plain bool, the
    default False included, is refused when the widget tree is built.
    Can be a `State` object for dynamic updates.
PaperProps : dict or State, optional
    Props of the panel. Default: a new empty dict.
    Can be a `State` object for dynamic updates.
SlideProps : dict or State, optional
    Props of the slide transition. Default: a new empty dict.
    Can be a `State` object for dynamic updates.
slotProps : dict or State, optional
    Props of the component's slots. Default: a new empty dict.
    Can be a `State` object for dynamic updates.
slots : dict or State, optional
    The component's slots. Default: a new empty dict.
    Can be a `State` object for dynamic updates.
sx : dict, str, Callable or State, optional
    Extra style declarations of the drawer: a dict of style properties, QSS text, or a
    callable returning either. Default: None.
    Can be a `State` object for dynamic updates.
transitionDuration : int, dict or State, optional
    Accepted for compatibility and not stored by the constructor; set it with
    `_set_transitionDuration`. Default: None.
    Can be a `State` object for dynamic updates.
variant : str or State, optional
    One of "permanent", "persistent", "temporary". Default: "temporary".
    Can be a `State` object for dynamic updates.
minWidth : int or State
    The panel's initial size along the splitter (for every anchor) and, for "right",
    its minimum width. Required as an integer for the four anchors. Default: None.
    Can be a `State` object for dynamic updates.
maxWidth : int or State, optional
    The panel's maximum width for the "right" anchor. Default: None.
    Can be a `State` object for dynamic updates.
minHeight : int or State, optional
    The panel's minimum height for the "top" and "bottom" anchors. Default: None.
    Can be a `State` object for dynamic updates.
maxHeight : int or State, optional
    The panel's maximum height for the "top" and "bottom" anchors. Default: None.
    Can be a `State` object for dynamic updates.
*args, **kwargs
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
