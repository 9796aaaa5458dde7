#include "module_globals.hpp"

#include "operations.hpp"

#include <iterator>

namespace zarnu {

std::uint64_t names_epoch = 1;
PyObject* builtin_super = nullptr;
PyObject* builtin_ValueError = nullptr;

namespace {

constexpr const char* global_names[] = {
    "QVBoxLayout", "QWidget", "QApplication", "QFrame", "QSizePolicy", "QGraphicsDropShadowEffect", "Qt", "QPoint",
    "QEvent", "State", "useTheme", "i18n", "get_qss_style", "Callable",
};
static_assert(std::size(global_names) == static_cast<std::size_t>(Global::Count));

PyObject* module_dict = nullptr;  // strong
PyObject* global_keys[static_cast<int>(Global::Count)];

// Module-namespace cache: entries hold a strong reference and the epoch they were filled in.
// Any change of the namespace (add, modify, delete, clear) moves the epoch on.
struct GlobalEntry {
    PyObject* value = nullptr;
    std::uint64_t epoch = 0;
};
GlobalEntry global_cache[static_cast<int>(Global::Count)];
bool names_watched = false;

int on_dict_event(PyDict_WatchEvent, PyObject* dict, PyObject*, PyObject*) {
    if (dict == module_dict) ++names_epoch;
    return 0;
}

PyObject* lookup_uncached(Global g) {
    PyObject* key = global_keys[static_cast<int>(g)];
    PyObject* value = nullptr;
    if (PyDict_GetItemRef(module_dict, key, &value) < 0) return nullptr;
    if (value) return value;
    PyObject* builtins = PyEval_GetBuiltins();
    if (builtins && PyDict_GetItemRef(builtins, key, &value) < 0) return nullptr;
    if (value) return value;
    PyErr_Format(PyExc_NameError, "name '%U' is not defined", key);
    return nullptr;
}

// The keys and the watchers, made once; caching is an optimisation: when the interpreter has no
// watcher slot left, every lookup simply goes to the namespace.
int watch_once(int& dict_watcher) {
    static bool ready = false;
    if (ready) return 0;
    for (int i = 0; i < static_cast<int>(Global::Count); i++)
        if (!global_keys[i] && !(global_keys[i] = PyUnicode_InternFromString(global_names[i]))) return -1;
    ready = true;
    dict_watcher = PyDict_AddWatcher(on_dict_event);
    PyErr_Clear();
    type_watch_init();
    return 0;
}

}  // namespace

int module_globals_init(PyObject* module) {
    static int dict_watcher = -1;
    if (watch_once(dict_watcher) < 0) return -1;
    Py_XSETREF(module_dict, Py_NewRef(PyModule_GetDict(module)));
    ++names_epoch;
    names_watched = dict_watcher >= 0 && PyDict_Watch(dict_watcher, module_dict) == 0;
    PyErr_Clear();

    PyObject* builtins = PyEval_GetBuiltins();
    if (!builtins) return -1;
    Py_CLEAR(builtin_super);
    Py_CLEAR(builtin_ValueError);
    if (PyDict_GetItemStringRef(builtins, "super", &builtin_super) <= 0 ||
        PyDict_GetItemStringRef(builtins, "ValueError", &builtin_ValueError) <= 0) {
        if (!PyErr_Occurred()) PyErr_SetString(PyExc_ImportError, "builtins lack super or ValueError");
        return -1;
    }
    return 0;
}

Ref global(Global g) {
    if (!names_watched) return Ref::steal(lookup_uncached(g));
    GlobalEntry& e = global_cache[static_cast<int>(g)];
    if (e.value && e.epoch == names_epoch) return Ref::borrow(e.value);

    PyObject* key = global_keys[static_cast<int>(g)];
    PyObject* value = nullptr;
    if (PyDict_GetItemRef(module_dict, key, &value) < 0) return {};
    if (!value) return Ref::steal(lookup_uncached(g));  // builtins are not cached
    Py_XSETREF(e.value, Py_NewRef(value));
    e.epoch = names_epoch;
    return Ref::steal(value);
}

Ref host_main_window() {
    Ref QApplication = global(Global::QApplication);
    Ref app = QApplication ? call_method(QApplication.get(), N.instance) : Ref();
    return app ? getattr(app.get(), N.mainWindow) : Ref();
}

Ref class_attr_lookup(Global cls_name, PyObject* attr, ClassAttrCache& c) {
    Ref cls = global(cls_name);
    if (!cls) return {};
    Ref value = getattr(cls.get(), attr);
    if (!value) return {};
    if (names_watched && watch_type(cls.get()) && watch_type(reinterpret_cast<PyObject*>(Py_TYPE(cls.get())))) {
        Py_XSETREF(c.cls, Py_NewRef(cls.get()));
        Py_XSETREF(c.value, Py_NewRef(value.get()));
        c.names_epoch = names_epoch;
        c.type_epoch = type_epoch;
    }
    return value;
}

}  // namespace zarnu
