// Shared run-time machinery of the drawer's methods: interned names, calls through ordinary
// attribute lookup, the module-namespace lookups (cached, invalidated by a dict watcher), the
// class-attribute cache and the `super()` lookup (cached per type, invalidated by a type watcher).
#pragma once

#include "function.hpp"
#include "sibling/contract.hpp"

#include <cstdint>
#include <iterator>

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
extern Names N;

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
extern Constants C;

int runtime_init(PyObject* module);

// Names of the module namespace that the methods look up at each run.
enum class Global : int {
    QVBoxLayout, QWidget, QApplication, QFrame, QSizePolicy, QGraphicsDropShadowEffect, Qt, QPoint, QEvent,
    State, useTheme, i18n, get_qss_style, Callable,
    Count
};

// LOAD_GLOBAL: the module namespace, then the builtins; NameError when neither has the name.
Ref global(Global g);

// `QApplication.instance().mainWindow`: the host's main window, read as a plain attribute.
Ref host_main_window();

// The builtins taken once at import.
extern PyObject* builtin_super;
extern PyObject* builtin_ValueError;

// `obj.name(*args)`, looked up as Python would look it up.
template <class... A>
inline Ref call_method(PyObject* obj, PyObject* name, A... args) {
    PyObject* a[] = {nullptr, obj, args...};
    return Ref::steal(PyObject_VectorcallMethod(name, a + 1, (1 + sizeof...(A)) | PY_VECTORCALL_ARGUMENTS_OFFSET,
                                                nullptr));
}

// `fn(*args)`.
template <class... A>
inline Ref call(PyObject* fn, A... args) {
    PyObject* a[] = {nullptr, args...};
    return Ref::steal(PyObject_Vectorcall(fn, a + 1, sizeof...(A) | PY_VECTORCALL_ARGUMENTS_OFFSET, nullptr));
}

inline Ref getattr(PyObject* obj, PyObject* name) { return Ref::steal(PyObject_GetAttr(obj, name)); }

// `bool(obj)`: 1, 0, or -1 with an exception set.
inline int truth(PyObject* obj) { return PyObject_IsTrue(obj); }

// `a == b` tested for truth, as `if a == b:` does: 1, 0 or -1. When both operands are of one type
// whose comparison is int's or object's own (the binding's enum members and widgets), that
// comparison is called directly: with a single type there is no reflected operand to try first,
// neither runs Python code, and their answer (True, False, or object's NotImplemented for two
// distinct objects, on which `==` falls back to identity: False) is what `==` would give.
inline int equals(PyObject* a, PyObject* b) {
    PyTypeObject* t = Py_TYPE(a);
    if (t == Py_TYPE(b) && (t->tp_richcompare == PyLong_Type.tp_richcompare ||
                            t->tp_richcompare == PyBaseObject_Type.tp_richcompare)) {
        // Small ints compare by value, which is what int's comparison itself does first.
        if (t->tp_richcompare == PyLong_Type.tp_richcompare && PyUnstable_Long_IsCompact(reinterpret_cast<PyLongObject*>(a)) &&
            PyUnstable_Long_IsCompact(reinterpret_cast<PyLongObject*>(b)))
            return PyUnstable_Long_CompactValue(reinterpret_cast<PyLongObject*>(a)) ==
                   PyUnstable_Long_CompactValue(reinterpret_cast<PyLongObject*>(b));
        PyObject* r = t->tp_richcompare(a, b, Py_EQ);
        int eq = r == Py_True;
        Py_DECREF(r);
        return eq;
    }
    Ref r = Ref::steal(PyObject_RichCompare(a, b, Py_EQ));
    return r ? PyObject_IsTrue(r.get()) : -1;
}

// `isinstance(obj, cls)`. When the metaclass of `cls` inherits `type.__instancecheck__`, the
// check that method would run is made directly (the same steps, `__class__` included), without
// looking the hook up and calling it.
int is_instance(PyObject* obj, PyObject* cls);

// `ModuleName.attr` for a class bound in the module namespace, cached until the namespace or
// the class (or its metaclass) changes.
struct ClassAttrCache {
    PyObject* cls = nullptr;    // strong
    PyObject* value = nullptr;  // strong
    std::uint64_t names_epoch = 0;
    std::uint64_t type_epoch = 0;
};

// Epochs of the caches: the module namespace's moves on with any change of it, the types' with
// any change of a watched type (or of one of its bases). Entries remember the epochs they were
// filled in; nothing is cached while the namespace is not watched.
extern std::uint64_t names_epoch;
extern std::uint64_t type_epoch;

Ref class_attr_lookup(Global cls_name, PyObject* attr, ClassAttrCache& cache);

inline Ref class_attr(Global cls_name, PyObject* attr, ClassAttrCache& cache) {
    if (cache.value && cache.names_epoch == names_epoch && cache.type_epoch == type_epoch)
        return Ref::borrow(cache.value);
    return class_attr_lookup(cls_name, attr, cache);
}

// `super().name(*args[1:])` for a method of `fn`'s owner class, args[0] being `self`.
struct SuperCache {
    PyObject* type = nullptr;   // strong
    PyObject* owner = nullptr;  // strong
    PyObject* attr = nullptr;   // strong: the unbound attribute found after the owner in the MRO
    std::uint64_t type_epoch = 0;
};
Ref super_call(Function* fn, PyObject* name, SuperCache& cache, PyObject* const* args, Py_ssize_t nargs);

}  // namespace zarnu
