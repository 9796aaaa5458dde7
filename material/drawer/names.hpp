// The interned names and the constant objects the methods use, made at import and kept in the
// module state (state.hpp), where the methods read them as `N.<name>` and `C.<name>`.
#pragma once

#include "ref.hpp"
#include "sibling/contract.hpp"

namespace zarnu {

// Every attribute and method name the drawer uses on itself and on Qt objects, interned once at
// import (the names read from sibling objects are listed with the sibling contract).
#define ZARNU_NAMES(X)                                                                                   \
    X(__init__) X(__mro_entries__) X(__prepare__) X(__name__) X(__class__) X(__instancecheck__)          \
    X(file_path) X(param_name) X(supported_signatures) X(valid_values)                                    \
    X(setObjectName) X(theme) X(_widget_references) X(drawerMinWidth) X(drawerMaxWidth)                  \
    X(drawerMinHeight) X(drawerMaxHeight) X(_user_dragging) X(_init_ui)                                   \
    X(setWindowFlags) X(Window) X(FramelessWindowHint) X(setAttribute) X(WA_TranslucentBackground)        \
    X(WA_TransparentForMouseEvents) X(setAutoFillBackground) X(_frm_content) X(_contentLayout)           \
    X(_overlay) X(setSizePolicy) X(Expanding) X(setStyleSheet) X(setHandleWidth)                          \
    X(setChildrenCollapsible) X(setOpaqueResize) X(_anchor) X(setOrientation) X(Orientation)              \
    X(Horizontal) X(Vertical) X(addWidget) X(setSizes) X(setContentsMargins) X(setMinimumWidth)           \
    X(setMaximumWidth) X(setMinimumHeight) X(setMaximumHeight) X(_children) X(_open)                      \
    X(_show) X(installEventFilter) X(_anchorEl) X(_set_stylesheet) X(reTranslation) X(handle)            \
    X(_variant) X(_sx) X(setShadowEffect) X(setBlurRadius) X(setOffset) X(setColor) X(setGraphicsEffect)  \
    X(isVisible) X(setVisible) X(update_position) X(_onClose) X(mapToGlobal) X(setGeometry)               \
    X(setMinimumSize) X(x) X(y) X(width) X(height)                                                        \
    X(type) X(Resize) X(Move) X(MouseButtonPress) X(MouseButtonRelease) X(refresh) X(update) X(eventFilter) \
    X(style) X(unpolish) X(polish)

struct Names {
#define ZARNU_DECLARE_NAME(n) PyObject* n;
    ZARNU_NAMES(ZARNU_DECLARE_NAME)
    ZARNU_SIBLING_NAMES(ZARNU_DECLARE_NAME)
#undef ZARNU_DECLARE_NAME
};

// Constant strings and numbers used by the methods, created once at import.
struct Constants {
    PyObject* anchor;          // "anchor"
    PyObject* variant;         // "variant"
    PyObject* left;            // "left"
    PyObject* right;           // "right"
    PyObject* top;             // "top"
    PyObject* bottom;          // "bottom"
    PyObject* PyDrawer;        // "PyDrawer"
    PyObject* contentFrame;    // "contentFrame"
    PyObject* transparent;     // "background-color: transparent;"
    PyObject* styles;          // "styles"
    PyObject* root;            // "root"
    PyObject* empty;           // ""
    PyObject* int0;
    PyObject* int1;
    PyObject* int50;
    PyObject* int50000;
};

// Interns the names and makes the constants into the given (empty) records.
int names_init(Names& names, Constants& constants);

}  // namespace zarnu
