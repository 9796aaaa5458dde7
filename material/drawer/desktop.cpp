// The drawer window's relation to the window system: it belongs to its host's window (on
// Wayland, where no client places its own windows, it lives inside it), takes the mouse only
// over its panel, stays on its anchor when the splitter or the window manager resizes or moves
// it, and hears the window manager's close. The event filter reaches these only from branches
// taken after a type test it makes anyway.
#include "desktop.hpp"

#include <dlfcn.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>

namespace zarnu::drawer::desktop {
namespace {

// The desktop's part of the module state (desktop_state.hpp).
State& desk() { return module_state->desktop; }

// The names used only here, interned.
bool intern_names(Names& n) {
    struct {
        PyObject** slot;
        const char* text;
    } names[] = {
        {&n.Show, "Show"}, {&n.Close, "Close"}, {&n.spontaneous, "spontaneous"}, {&n._close, "_close"},
        {&n.window, "window"}, {&n.windowHandle, "windowHandle"}, {&n.flags, "flags"}, {&n.setFlags, "setFlags"},
        {&n.WindowType, "WindowType"}, {&n.Dialog, "Dialog"}, {&n.setTransientParent, "setTransientParent"},
        {&n.WidgetAttribute, "WidgetAttribute"}, {&n.WA_QuitOnClose, "WA_QuitOnClose"},
        {&n.geometry, "geometry"}, {&n.size, "size"}, {&n.graphicsEffect, "graphicsEffect"},
        {&n.boundingRectFor, "boundingRectFor"}, {&n.toAlignedRect, "toAlignedRect"},
        {&n.intersected, "intersected"}, {&n.rect, "rect"}, {&n.isEmpty, "isEmpty"}, {&n.mask, "mask"},
        {&n.setMask, "setMask"}, {&n.platformName, "platformName"}, {&n.contentsRect, "contentsRect"},
        {&n.indexOf, "indexOf"}, {&n.orientation, "orientation"}, {&n.left, "left"}, {&n.right, "right"},
        {&n.top, "top"}, {&n.bottom, "bottom"}, {&n.setLeft, "setLeft"}, {&n.setRight, "setRight"},
        {&n.setTop, "setTop"}, {&n.setBottom, "setBottom"}, {&n.contentsMargins, "contentsMargins"},
        {&n.marginsRemoved, "marginsRemoved"}, {&n.parentWidget, "parentWidget"}, {&n.setParent, "setParent"},
        {&n.mapFromGlobal, "mapFromGlobal"}, {&n.raise_, "raise_"}, {&n.isWindow, "isWindow"},
        {&n.wayland, "wayland"},
    };
    for (auto& s : names)
        if (!*s.slot && !(*s.slot = PyUnicode_InternFromString(s.text))) return false;
    return true;
}

// The Qt classes used only here, from the binding's modules, and the two event types, from the
// binding itself: a stand-in for the module's QEvent need not know them.
bool import_classes(Classes& q, const Names& n) {
    struct {
        PyObject** slot;
        const char* module;
        const char* name;
    } classes[] = {
        {&q.QRect, "qtpy.QtCore", "QRect"},
        {&q.QRectF, "qtpy.QtCore", "QRectF"},
        {&q.QRegion, "qtpy.QtGui", "QRegion"},
        {&q.QSplitterHandle, "qtpy.QtWidgets", "QSplitterHandle"},
        {&q.QEvent, "qtpy.QtCore", "QEvent"},
        {&q.QGuiApplication, "qtpy.QtGui", "QGuiApplication"},
    };
    for (auto& c : classes) {
        if (*c.slot) continue;
        Ref module = Ref::steal(PyImport_ImportModule(c.module));
        Ref cls = module ? Ref::steal(PyObject_GetAttrString(module.get(), c.name)) : Ref();
        if (!cls) return false;
        *c.slot = cls.release();
    }
    Ref types = Ref::steal(PyObject_GetAttrString(q.QEvent, "Type"));
    Ref show = types ? getattr(types.get(), n.Show) : Ref();
    Ref close = show ? getattr(types.get(), n.Close) : Ref();
    if (!close) return false;
    Py_XSETREF(q.show_type, show.release());
    Py_XSETREF(q.close_type, close.release());
    return true;
}

// Interns the names and takes the classes and event types, once per module; a failed import
// is tried again (and raises again) next time.
bool ready() {
    State& d = desk();
    if (d.ready) return true;
    if (!intern_names(d.n) || !import_classes(d.q, d.n)) return false;
    d.ready = true;
    return true;
}

// --- whether a compositing manager runs ---------------------------------------------------------

// Whether a compositing manager runs on the X display: it owns the selection _NET_WM_CM_S<screen>
// for as long as it runs. -1 when that cannot be told.
int x_compositing() {
    State& d = desk();
    Xcb& x = d.x;
    if (d.x_unavailable) return -1;
    if (!d.x_connection) {
        d.x_unavailable = true;
        void* lib = d.x_library ? d.x_library : (d.x_library = dlopen("libxcb.so.1", RTLD_NOW | RTLD_LOCAL));
        if (!lib) return -1;
        x.connect = reinterpret_cast<decltype(x.connect)>(dlsym(lib, "xcb_connect"));
        x.disconnect = reinterpret_cast<decltype(x.disconnect)>(dlsym(lib, "xcb_disconnect"));
        x.has_error = reinterpret_cast<decltype(x.has_error)>(dlsym(lib, "xcb_connection_has_error"));
        x.intern_atom = reinterpret_cast<decltype(x.intern_atom)>(dlsym(lib, "xcb_intern_atom"));
        x.intern_atom_reply = reinterpret_cast<decltype(x.intern_atom_reply)>(dlsym(lib, "xcb_intern_atom_reply"));
        x.get_selection_owner = reinterpret_cast<decltype(x.get_selection_owner)>(dlsym(lib, "xcb_get_selection_owner"));
        x.get_selection_owner_reply =
            reinterpret_cast<decltype(x.get_selection_owner_reply)>(dlsym(lib, "xcb_get_selection_owner_reply"));
        if (!x.connect || !x.disconnect || !x.has_error || !x.intern_atom || !x.intern_atom_reply || !x.get_selection_owner ||
            !x.get_selection_owner_reply)
            return -1;
        int screen = 0;
        void* c = x.connect(nullptr, &screen);
        if (!c) return -1;
        if (x.has_error(c)) {
            x.disconnect(c);  // a connection that failed is an object of its own, freed so
            return -1;
        }
        char name[32];
        int len = std::snprintf(name, sizeof name, "_NET_WM_CM_S%d", screen);
        Xcb::AtomReply* atom = x.intern_atom_reply(c, x.intern_atom(c, 0, static_cast<std::uint16_t>(len), name), nullptr);
        if (!atom) {
            x.disconnect(c);
            return -1;
        }
        d.x_selection = atom->atom;
        std::free(atom);
        d.x_connection = c;
        d.x_unavailable = false;
    }
    void* c = d.x_connection;
    Xcb::OwnerReply* owner = x.get_selection_owner_reply(c, x.get_selection_owner(c, d.x_selection), nullptr);
    if (!owner) return -1;
    int running = owner->owner != 0;
    std::free(owner);
    return running;
}

// Whether the panel's shadow can be shown: everywhere but on an X display without a compositing
// manager, where what is translucent shows black. 1, 0 or -1 with an exception set.
// `QGuiApplication.platformName()`: the name of Qt's platform plugin.
Ref platform_name() { return call_method(desk().q.QGuiApplication, desk().n.platformName); }

int shadow_shown() {
    Ref platform = platform_name();
    if (!platform) return -1;
    if (!PyUnicode_Check(platform.get()) || PyUnicode_CompareWithASCIIString(platform.get(), "xcb") != 0) return 1;
    return x_compositing() != 0;
}

// Whether `platform`, the platform plugin's name, is one of Wayland's ("wayland", "wayland-egl",
// ...): 1, 0 or -1. A Wayland compositor puts a client's top-level windows where it likes.
int is_wayland(PyObject* platform) {
    if (!PyUnicode_Check(platform)) return 0;
    Py_ssize_t r = PyUnicode_Tailmatch(platform, desk().n.wayland, 0, PY_SSIZE_T_MAX, -1);
    return r < 0 ? -1 : static_cast<int>(r);
}

// --- the pieces ----------------------------------------------------------------------------------

// `self._anchorEl` when it is a QWidget, else null with no error.
Ref widget_anchor(PyObject* self, bool& failed) {
    failed = true;
    Ref anchor = getattr(self, N._anchorEl);
    Ref QWidget = anchor ? global(Global::QWidget) : Ref();
    int is_widget = QWidget ? is_instance(anchor.get(), QWidget.get()) : -1;
    if (is_widget < 0) return {};
    failed = false;
    return is_widget ? anchor : Ref();
}

// The native window belongs to the host's: a dialog-like type (the widget's own flags stay as
// they are) and the host's window as transient parent, both read when the window is mapped.
// A window-manager close destroys the native window, so this runs before every show.
bool set_up_window(PyObject* self) {
    const Names& n = desk().n;
    bool failed;
    Ref anchor = widget_anchor(self, failed);
    if (!anchor) return !failed;
    // Inside the host's window the drawer only goes above its siblings.
    int inside = embedded();
    if (inside) return inside > 0 && call_method(self, n.raise_);
    Ref top = call_method(anchor.get(), n.window);
    Ref host = top ? call_method(top.get(), n.windowHandle) : Ref();
    Ref handle = host ? call_method(self, n.windowHandle) : Ref();
    if (!handle) return false;
    if (host.get() == Py_None || handle.get() == Py_None || host.get() == handle.get()) return true;
    Ref flags = call_method(handle.get(), n.flags);
    Ref Qt = flags ? global(Global::Qt) : Ref();
    Ref types = Qt ? getattr(Qt.get(), n.WindowType) : Ref();
    Ref dialog = types ? getattr(types.get(), n.Dialog) : Ref();
    Ref dialog_flags = dialog ? Ref::steal(PyNumber_Or(flags.get(), dialog.get())) : Ref();
    if (!dialog_flags || !call_method(handle.get(), n.setFlags, dialog_flags.get()) ||
        !call_method(handle.get(), n.setTransientParent, host.get()))
        return false;
    // Qt 6 leaves a transient window out of the last-window-closed count; Qt 5 counts every
    // visible parentless widget unless told otherwise, which kept the application running
    // after its main window was closed with the drawer open.
    Ref attributes = getattr(Qt.get(), n.WidgetAttribute);
    Ref quit_on_close = attributes ? getattr(attributes.get(), n.WA_QuitOnClose) : Ref();
    return quit_on_close && call_method(self, N.setAttribute, quit_on_close.get(), Py_False);
}

// The drawer's own move or resize: the splitter raising its minimum size on show, or the window
// manager moving a new window at a screen edge, left it off its anchor; place it again while it
// is visible. The geometry is compared first, so an ordinary placement calls nothing more.
// Inside the host's window (whose coordinates its geometry is in) neither happens.
bool follow_anchor(PyObject* self) {
    State& d = desk();
    if (d.replacing) return true;
    const Names& n = d.n;
    bool failed;
    Ref anchor = widget_anchor(self, failed);
    if (!anchor) return !failed;
    Ref geometry = call_method(self, n.geometry);
    Ref QPoint = geometry ? global(Global::QPoint) : Ref();
    Ref origin = QPoint ? call(QPoint.get(), C.int0, C.int0) : Ref();
    Ref corner = origin ? call_method(anchor.get(), N.mapToGlobal, origin.get()) : Ref();
    Ref size = corner ? call_method(anchor.get(), n.size) : Ref();
    Ref target = size ? call(d.q.QRect, corner.get(), size.get()) : Ref();
    int on_anchor = target ? equals(geometry.get(), target.get()) : -1;
    if (on_anchor) return on_anchor > 0;
    int inside = embedded();
    if (inside) return inside > 0;
    Ref visible = call_method(self, N.isVisible);
    int v = visible ? truth(visible.get()) : -1;
    if (v <= 0) return v == 0;
    d.replacing = true;
    bool placed = static_cast<bool>(call_method(self, N.update_position));
    d.replacing = false;
    return placed;
}

// The panel's pane in the drawer's coordinates, read off the handle the splitter has just placed
// between the two panes (the panel itself may be placed only after it); `frame` receives the
// panel. Null on failure.
Ref panel_pane(PyObject* self, PyObject* handle, Ref& frame) {
    const Names& n = desk().n;
    Ref rect = call_method(self, n.contentsRect);
    // The handle's geometry takes in a grab margin on either side of the cut when it is thin.
    Ref outer = rect ? call_method(handle, n.geometry) : Ref();
    Ref margins = outer ? call_method(handle, n.contentsMargins) : Ref();
    Ref cut = margins ? call_method(outer.get(), n.marginsRemoved, margins.get()) : Ref();
    frame = cut ? getattr(self, N._frm_content) : Ref();
    Ref index = frame ? call_method(self, n.indexOf, frame.get()) : Ref();
    int first = index ? equals(index.get(), C.int0) : -1;
    Ref orientation = first >= 0 ? call_method(self, n.orientation) : Ref();
    Ref Qt = orientation ? global(Global::Qt) : Ref();
    Ref orientations = Qt ? getattr(Qt.get(), N.Orientation) : Ref();
    Ref horizontal = orientations ? getattr(orientations.get(), N.Horizontal) : Ref();
    int across = horizontal ? equals(orientation.get(), horizontal.get()) : -1;
    if (across < 0) return {};
    // First pane: up to the handle; second pane: from its end on.
    PyObject* edge = across ? (first ? n.left : n.right) : (first ? n.top : n.bottom);
    PyObject* setter = across ? (first ? n.setRight : n.setLeft) : (first ? n.setBottom : n.setTop);
    Ref at = call_method(cut.get(), edge);
    Ref bound = at ? Ref::steal(first ? PyNumber_Subtract(at.get(), C.int1) : PyNumber_Add(at.get(), C.int1)) : Ref();
    if (!bound || !call_method(rect.get(), setter, bound.get())) return {};
    return rect;
}

// The panel's pane `rect` widened by the band its shadow effect falls on, within the drawer.
Ref with_shadow(PyObject* self, PyObject* frame, Ref rect) {
    const Names& n = desk().n;
    Ref effect = call_method(frame, n.graphicsEffect);
    if (!effect) return {};
    if (effect.get() != Py_None) {
        Ref exact = call(desk().q.QRectF, rect.get());
        Ref bounds = exact ? call_method(effect.get(), n.boundingRectFor, exact.get()) : Ref();
        rect = bounds ? call_method(bounds.get(), n.toAlignedRect) : Ref();
        if (!rect) return {};
    }
    Ref own = call_method(self, n.rect);
    return own ? call_method(rect.get(), n.intersected, own.get()) : Ref();
}

// Only the panel takes the mouse, so that the overlay passes clicks to the page beneath; where
// the shadow can be shown, the band it falls on too, since on X the mask also clips what is
// shown. Never empty, since an empty mask means no mask at all; set only when it changes.
bool set_input_region(PyObject* self, PyObject* handle) {
    const Names& n = desk().n;
    Ref frame;
    Ref rect = panel_pane(self, handle, frame);
    Ref empty = rect ? call_method(rect.get(), n.isEmpty) : Ref();
    int e = empty ? truth(empty.get()) : -1;
    if (e < 0) return false;
    if (e) {
        Ref x = call_method(rect.get(), N.x);
        Ref y = x ? call_method(rect.get(), N.y) : Ref();
        rect = y ? call(desk().q.QRect, x.get(), y.get(), C.int1, C.int1) : Ref();
    } else {
        int shadow = shadow_shown();
        if (shadow < 0) return false;
        if (shadow) rect = with_shadow(self, frame.get(), std::move(rect));
    }
    Ref region = rect ? call(desk().q.QRegion, rect.get()) : Ref();
    Ref current = region ? call_method(self, n.mask) : Ref();
    int same = current ? equals(current.get(), region.get()) : -1;
    if (same) return same > 0;
    return static_cast<bool>(call_method(self, n.setMask, region.get()));
}

}  // namespace

int embedded() {
    if (!ready()) return -1;
    Ref platform = platform_name();
    return platform ? is_wayland(platform.get()) : -1;
}

Ref embed(PyObject* self, PyObject* point) {
    const Names& n = desk().n;
    bool failed;
    Ref anchor = widget_anchor(self, failed);
    if (!anchor) return failed ? Ref() : Ref::borrow(point);
    Ref host = call_method(anchor.get(), n.window);
    if (!host) return {};
    if (host.get() == self) return Ref::borrow(point);
    // A window still, even one whose parent is the host already (a drawer built with the host
    // as its parent), or a child of another window.
    Ref window = call_method(self, n.isWindow);
    int move = window ? truth(window.get()) : -1;
    if (move == 0) {
        Ref parent = call_method(self, n.parentWidget);
        move = parent ? parent.get() != host.get() : -1;
    }
    if (move < 0) return {};
    if (move) {
        // A frameless child widget now. Reparenting hides a widget, so a visible drawer is shown
        // again.
        Ref visible = call_method(self, N.isVisible);
        int v = visible ? truth(visible.get()) : -1;
        Ref Qt = v >= 0 ? global(Global::Qt) : Ref();
        Ref types = Qt ? getattr(Qt.get(), n.WindowType) : Ref();
        Ref frameless = types ? getattr(types.get(), N.FramelessWindowHint) : Ref();
        if (!frameless || !call_method(self, n.setParent, host.get(), frameless.get())) return {};
        if (v && !call_method(self, N.setVisible, Py_True)) return {};
    }
    return call_method(host.get(), n.mapFromGlobal, point);
}

int on_geometry(PyObject* self, PyObject* source) {
    if (!ready()) return -1;
    if (source == self) return follow_anchor(self) ? 0 : -1;
    // The handle moves or resizes once the splitter has laid out its panes.
    if (PyObject_TypeCheck(source, reinterpret_cast<PyTypeObject*>(desk().q.QSplitterHandle)))
        return set_input_region(self, source) ? 0 : -1;
    return 0;
}

int on_own_event(PyObject* self, PyObject* event, PyObject* kind) {
    if (!ready()) return -1;
    const State& d = desk();
    int is_show = equals(kind, d.q.show_type);
    if (is_show < 0) return -1;
    if (is_show) return set_up_window(self) ? 0 : -1;
    int is_close = equals(kind, d.q.close_type);
    if (is_close <= 0) return is_close;
    Ref spontaneous = call_method(event, d.n.spontaneous);
    int s = spontaneous ? truth(spontaneous.get()) : -1;
    if (s <= 0) return s;
    // The window manager's close goes through _close(). What onClose raises cannot leave Qt's
    // event delivery (one binding aborts the process there), so it is reported as Python
    // reports what a finaliser raises, and the close goes on.
    if (!call_method(self, d.n._close)) PyErr_FormatUnraisable("Exception ignored in the window manager's close of %R", self);
    return 0;
}

void close_display(State& s) {
    if (s.x_connection) s.x.disconnect(s.x_connection);
    if (s.x_library) dlclose(s.x_library);
    s.x_connection = s.x_library = nullptr;
    s.x_unavailable = false;
}

}  // namespace zarnu::drawer::desktop
