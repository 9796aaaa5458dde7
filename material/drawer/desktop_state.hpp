// What desktop.cpp keeps in the module state: the names and Qt classes it uses, taken on first
// use, and the X connection it asks whether a compositing manager runs.
#pragma once

#define PY_SSIZE_T_CLEAN
#include <Python.h>

#include <cstdint>

namespace zarnu::drawer::desktop {

// Names used only by desktop.cpp, interned on first use.
struct Names {
    PyObject *Show, *Close, *spontaneous, *_close, *window, *windowHandle, *flags, *setFlags, *WindowType, *Dialog,
        *setTransientParent, *WidgetAttribute, *WA_QuitOnClose, *geometry, *size, *graphicsEffect, *boundingRectFor, *toAlignedRect, *intersected, *rect,
        *isEmpty, *mask, *setMask, *platformName, *contentsRect, *indexOf, *orientation, *left, *right, *top, *bottom,
        *setLeft, *setRight, *setTop, *setBottom, *contentsMargins, *marginsRemoved, *parentWidget, *setParent,
        *mapFromGlobal, *raise_, *isWindow, *wayland;
};

// Qt classes that the module namespace does not hold, taken once from the binding's modules,
// and the two event types read from the binding's QEvent.
struct Classes {
    PyObject *QRect, *QRectF, *QRegion, *QSplitterHandle, *QEvent, *QGuiApplication;
    PyObject *show_type, *close_type;  // QEvent.Type.Show, QEvent.Type.Close
};

// The few libxcb entry points needed, loaded when first asked: the module does not link
// against X, and a process without an X display never loads it.
struct Xcb {
    struct Cookie {
        unsigned int sequence;
    };
    struct AtomReply {
        std::uint8_t response_type, pad0;
        std::uint16_t sequence;
        std::uint32_t length, atom;
    };
    struct OwnerReply {
        std::uint8_t response_type, pad0;
        std::uint16_t sequence;
        std::uint32_t length, owner;
    };
    void* (*connect)(const char*, int*);
    void (*disconnect)(void*);
    int (*has_error)(void*);
    Cookie (*intern_atom)(void*, std::uint8_t, std::uint16_t, const char*);
    AtomReply* (*intern_atom_reply)(void*, Cookie, void**);
    Cookie (*get_selection_owner)(void*, std::uint32_t);
    OwnerReply* (*get_selection_owner_reply)(void*, Cookie, void**);
};

struct State {
    Names n;
    Classes q;
    bool ready;      // names and classes taken; a failed attempt is made again (and raises again)
    bool replacing;  // a re-placement started by the drawer's own move or resize is running
    // The X display's compositing-manager question: the library, the connection and the
    // selection asked about; `x_unavailable` once that cannot be told.
    Xcb x;
    void* x_library;
    void* x_connection;
    std::uint32_t x_selection;
    bool x_unavailable;
};

// Closes the X connection and releases the library, when they were opened.
void close_display(State& s);

}  // namespace zarnu::drawer::desktop
