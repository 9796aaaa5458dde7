// The module namespace as the methods read it at each run: the names they look up (cached while
// the namespace is unchanged, as a dict watcher tells), class attributes read through those names
// (cached while the class is unchanged too), and the builtins taken at import.
#pragma once

#include "type_watch.hpp"

#include <cstdint>

namespace zarnu {

// Binds the module namespace (anew for each module object: a failed import may be retried) and
// takes the builtins.
int module_globals_init(PyObject* module);

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

// `ModuleName.attr` for a class bound in the module namespace, cached until the namespace or
// the class (or its metaclass) changes.
struct ClassAttrCache {
    PyObject* cls = nullptr;    // strong
    PyObject* value = nullptr;  // strong
    std::uint64_t names_epoch = 0;
    std::uint64_t type_epoch = 0;
};

// Moves on with any change of the module namespace. Entries remember the epochs they were
// filled in; nothing is cached while the namespace is not watched.
extern std::uint64_t names_epoch;

Ref class_attr_lookup(Global cls_name, PyObject* attr, ClassAttrCache& cache);

inline Ref class_attr(Global cls_name, PyObject* attr, ClassAttrCache& cache) {
    if (cache.value && cache.names_epoch == names_epoch && cache.type_epoch == type_epoch)
        return Ref::borrow(cache.value);
    return class_attr_lookup(cls_name, attr, cache);
}

}  // namespace zarnu
