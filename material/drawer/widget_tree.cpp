// The widget tree: a frameless translucent window holding the content frame and the overlay,
// arranged by anchor; then the children, the subscriptions and the event filters.
#include "binding_check.hpp"
#include "methods.hpp"

namespace zarnu::drawer {
namespace {

constexpr const char* self_only[] = {"self"};

// `self.<attr>.<method>(*args)`, reading the attribute afresh as each statement does.
template <class... A>
bool on_attr(PyObject* self, PyObject* attr, PyObject* method, A... args) {
    Ref obj = getattr(self, attr);
    return obj && call_method(obj.get(), method, args...);
}

// `[a, b]`
Ref pair_list(PyObject* a, PyObject* b) {
    Ref list = Ref::steal(PyList_New(2));
    if (!list) return {};
    PyList_SET_ITEM(list.get(), 0, Py_NewRef(a));
    PyList_SET_ITEM(list.get(), 1, Py_NewRef(b));
    return list;
}

// Names (of `N`) and constants (of `C`) named by their members: the objects are the state's.
using Name = PyObject* Names::*;
using Constant = PyObject* Constants::*;

struct Arrangement {
    Constant anchor;     // the anchor text this row is for
    Name orientation;    // Qt.Orientation.<name>
    Name first;          // pane attribute added first
    Name second;         // pane attribute added second
    bool content_first;  // whether the content pane takes the first size
    Constant overlay_size;
    int margins[4];
    Name min_limit;  // attribute of the minimum limit, or null
    Name max_limit;
    Name set_min;  // content frame method for each limit
    Name set_max;
};

const Arrangement arrangements[] = {
    {&Constants::left, &Names::Horizontal, &Names::_frm_content, &Names::_overlay, true, &Constants::int50,
     {1, 0, 0, 0}, nullptr, nullptr, nullptr, nullptr},
    {&Constants::right, &Names::Horizontal, &Names::_overlay, &Names::_frm_content, false, &Constants::int50000,
     {0, 0, 1, 1}, &Names::drawerMinWidth, &Names::drawerMaxWidth, &Names::setMinimumWidth, &Names::setMaximumWidth},
    {&Constants::top, &Names::Vertical, &Names::_frm_content, &Names::_overlay, true, &Constants::int50,
     {0, 1, 0, 0}, &Names::drawerMinHeight, &Names::drawerMaxHeight, &Names::setMinimumHeight, &Names::setMaximumHeight},
    {&Constants::bottom, &Names::Vertical, &Names::_overlay, &Names::_frm_content, false, &Constants::int50,
     {0, 1, 0, 0}, &Names::drawerMinHeight, &Names::drawerMaxHeight, &Names::setMinimumHeight, &Names::setMaximumHeight},
};

// `if self.<limit> is not None: self._frm_content.<setter>(self.<limit>)`
bool apply_limit(PyObject* self, PyObject* limit, PyObject* setter) {
    Ref value = getattr(self, limit);
    if (!value) return false;
    if (value.get() == Py_None) return true;
    Ref content = getattr(self, N._frm_content);
    Ref again = content ? getattr(self, limit) : Ref();
    return again && call_method(content.get(), setter, again.get());
}

bool arrange(PyObject* self, PyObject* Qt, const Arrangement& a) {
    Ref orientations = getattr(Qt, N.Orientation);
    Ref orientation = orientations ? getattr(orientations.get(), N.*a.orientation) : Ref();
    if (!orientation || !call_method(self, N.setOrientation, orientation.get())) return false;
    Ref first = getattr(self, N.*a.first);
    if (!first || !call_method(self, N.addWidget, first.get())) return false;
    Ref second = getattr(self, N.*a.second);
    if (!second || !call_method(self, N.addWidget, second.get())) return false;
    Ref min_width = getattr(self, N.drawerMinWidth);
    if (!min_width) return false;
    Ref sizes = a.content_first ? pair_list(min_width.get(), C.*a.overlay_size)
                                : pair_list(C.*a.overlay_size, min_width.get());
    if (!sizes || !call_method(self, N.setSizes, sizes.get())) return false;
    PyObject* m[4];
    for (int i = 0; i < 4; i++) m[i] = a.margins[i] ? C.int1 : C.int0;
    if (!call_method(self, N.setContentsMargins, m[0], m[1], m[2], m[3])) return false;
    if (a.min_limit && !apply_limit(self, N.*a.min_limit, N.*a.set_min)) return false;
    if (a.max_limit && !apply_limit(self, N.*a.max_limit, N.*a.set_max)) return false;
    return true;
}

bool add_children(PyObject* self) {
    Ref children = getattr(self, N._children);
    if (!children) return false;
    if (children.get() == Py_None) return true;
    int is_list = is_instance(children.get(), reinterpret_cast<PyObject*>(&PyList_Type));
    if (is_list < 0) return false;
    if (is_list) {
        Ref again = getattr(self, N._children);
        Ref it = again ? Ref::steal(PyObject_GetIter(again.get())) : Ref();
        if (!it) return false;
        while (Ref child = Ref::steal(PyIter_Next(it.get())))
            if (!on_attr(self, N._contentLayout, N.addWidget, child.get())) return false;
        return !PyErr_Occurred();
    }
    Ref QWidget = global(Global::QWidget);
    if (!QWidget) return false;
    Ref again = getattr(self, N._children);
    if (!again) return false;
    int is_widget = is_instance(again.get(), QWidget.get());
    if (is_widget < 0) return false;
    if (!is_widget) return true;
    Ref layout = getattr(self, N._contentLayout);
    Ref child = layout ? getattr(self, N._children) : Ref();
    return child && call_method(layout.get(), N.addWidget, child.get());
}

// `<obj>.<signal>.connect(self.<slot>)`
bool connect(PyObject* obj, PyObject* signal, PyObject* self, PyObject* slot) {
    Ref sig = getattr(obj, signal);
    Ref bound = sig ? getattr(self, slot) : Ref();
    return bound && call_method(sig.get(), N.connect, bound.get());
}

// The window: frameless and translucent, painting no background of its own.
bool set_up_window(PyObject* self, PyObject* Qt) {
    Ref window = getattr(Qt, N.Window);
    Ref frameless = window ? getattr(Qt, N.FramelessWindowHint) : Ref();
    Ref flags = frameless ? Ref::steal(PyNumber_Or(window.get(), frameless.get())) : Ref();
    if (!flags || !call_method(self, N.setWindowFlags, flags.get())) return false;
    Ref translucent = getattr(Qt, N.WA_TranslucentBackground);
    if (!translucent || !call_method(self, N.setAttribute, translucent.get(), Py_True)) return false;
    return static_cast<bool>(call_method(self, N.setAutoFillBackground, Py_False));
}

// The content frame with its layout, and the overlay, transparent to the mouse and to the eye.
bool make_panes(PyObject* self, PyObject* Qt) {
    Ref QFrame = global(Global::QFrame);
    Ref frame = QFrame ? call(QFrame.get(), self) : Ref();
    if (!frame || PyObject_SetAttr(self, N._frm_content, frame.get()) < 0) return false;
    if (!on_attr(self, N._frm_content, N.setObjectName, C.contentFrame)) return false;

    Ref QVBoxLayout = global(Global::QVBoxLayout);
    Ref content = QVBoxLayout ? getattr(self, N._frm_content) : Ref();
    Ref layout = content ? call(QVBoxLayout.get(), content.get()) : Ref();
    if (!layout || PyObject_SetAttr(self, N._contentLayout, layout.get()) < 0) return false;

    Ref QWidget = global(Global::QWidget);
    Ref overlay = QWidget ? call(QWidget.get(), self) : Ref();
    if (!overlay || PyObject_SetAttr(self, N._overlay, overlay.get()) < 0) return false;
    Ref mouse_transparent = getattr(Qt, N.WA_TransparentForMouseEvents);
    if (!mouse_transparent || !on_attr(self, N._overlay, N.setAttribute, mouse_transparent.get(), Py_True))
        return false;
    if (!on_attr(self, N._overlay, N.setAutoFillBackground, Py_False)) return false;
    Ref QSizePolicy = global(Global::QSizePolicy);
    Ref expanding = QSizePolicy ? getattr(QSizePolicy.get(), N.Expanding) : Ref();
    if (!expanding || !on_attr(self, N._overlay, N.setSizePolicy, expanding.get(), expanding.get())) return false;
    return on_attr(self, N._overlay, N.setStyleSheet, C.transparent);
}

// The splitter's own settings, then the arrangement of the first anchor the drawer's equals.
bool lay_out(PyObject* self, PyObject* Qt) {
    if (!call_method(self, N.setHandleWidth, C.int0) || !call_method(self, N.setChildrenCollapsible, Py_True) ||
        !call_method(self, N.setOpaqueResize, Py_True))
        return false;
    for (const Arrangement& a : arrangements) {
        Ref anchor = getattr(self, N._anchor);
        int match = anchor ? equals(anchor.get(), C.*a.anchor) : -1;
        if (match < 0) return false;
        if (match) return arrange(self, Qt, a);
    }
    return true;
}

// `open` must be a State: its changes open and hide the drawer.
bool follow_open_state(PyObject* self) {
    Ref State = global(Global::State);
    Ref open = State ? getattr(self, N._open) : Ref();
    if (!open) return false;
    int is_state = is_instance(open.get(), State.get());
    if (is_state < 0) return false;
    if (!is_state) {
        raise_value_error("The attribute 'open' only accepts input in the form of State.");
        return false;
    }
    open = getattr(self, N._open);
    return open && connect(open.get(), N.valueChanged, self, N._show);
}

// The drawer filters its own events, its anchor element's (when that is a widget) and the host's
// main window's.
bool install_filters(PyObject* self) {
    if (!call_method(self, N.installEventFilter, self)) return false;
    Ref anchor_el = getattr(self, N._anchorEl);
    int filter_anchor = anchor_el ? truth(anchor_el.get()) : -1;
    if (filter_anchor > 0) {
        anchor_el = getattr(self, N._anchorEl);
        Ref QWidget_now = anchor_el ? global(Global::QWidget) : Ref();
        filter_anchor = QWidget_now ? is_instance(anchor_el.get(), QWidget_now.get()) : -1;
    }
    if (filter_anchor < 0) return false;
    if (filter_anchor && !on_attr(self, N._anchorEl, N.installEventFilter, self)) return false;

    Ref main_window = host_main_window();
    return main_window && call_method(main_window.get(), N.installEventFilter, self);
}

// Restyled at each theme change (and styled now), retranslated at each language change.
bool follow_theme_and_language(PyObject* self) {
    Ref useTheme = global(Global::useTheme);
    Ref theme = useTheme ? call(useTheme.get()) : Ref();
    if (!theme || PyObject_SetAttr(self, N.theme, theme.get()) < 0) return false;
    theme = getattr(self, N.theme);
    Ref theme_signal = theme ? getattr(theme.get(), N.signal) : Ref();
    if (!theme_signal || !connect(theme_signal.get(), N.changed, self, N._set_stylesheet)) return false;

    if (!call_method(self, N._set_stylesheet)) return false;

    Ref i18n = global(Global::i18n);
    return i18n && connect(i18n.get(), N.langChanged, self, N.reTranslation);
}

// The splitter handle's events are filtered too (a drag ends with a release on it).
bool filter_handle(PyObject* self) {
    Ref handle = call_method(self, N.handle, C.int1);
    if (!handle || !call_method(handle.get(), N.installEventFilter, self)) return false;
    return keep_handle_wrapper(self, handle.get());
}

PyObject* init_ui(Function*, PyObject* const* p) {
    PyObject* self = p[0];
    if (!call_method(self, N.setObjectName, C.PyDrawer)) return nullptr;
    Ref Qt = global(Global::Qt);
    if (!Qt || !set_up_window(self, Qt.get()) || !make_panes(self, Qt.get()) || !lay_out(self, Qt.get()) ||
        !add_children(self) || !follow_open_state(self) || !install_filters(self) ||
        !follow_theme_and_language(self) || !filter_handle(self))
        return nullptr;
    Py_RETURN_NONE;
}

// The drawer shows no text of its own, so a language change has nothing to update.
PyObject* retranslate(Function*, PyObject* const*) { Py_RETURN_NONE; }

}  // namespace

const FunctionDef init_ui_def = {"_init_ui", self_only, std::size(self_only), false, false, init_ui, nullptr};
const FunctionDef retranslation_def = {"reTranslation", self_only, std::size(self_only), false, false, retranslate,
                                       nullptr};

}  // namespace zarnu::drawer
