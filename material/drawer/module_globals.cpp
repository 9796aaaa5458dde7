#include "module_globals.hpp"

#include "operations.hpp"

#include <iterator>

namespace zarnu {
namespace {

constexpr const char* global_names[] = {
    "QVBoxLayout", "QWidget", "QApplication", "QFrame", "QSizePolicy", "QGraphicsDropShadowEffect", "Qt", "QPoint",
    "QEvent", "State", "useTheme", "i18n", "get_qss_style", "Callable",
};
static_assert(std::size(global_names) == static_cast<std::size_t>(Global::Count));

// Any change of the namespace (add, modify, delete, clear) moves the epoch on.
int on_dict_event(PyDict_WatchEvent, PyObject* dict, PyObject*, PyObject*) {
    ModuleState* s = module_state;
    if (s && dict == s->module_dict) ++s->names_epoch;
    return 0;
}

PyObject* lookup_uncached(ModuleState* s, Global g) {
    PyObject* key = s->global_keys[static_cast<int>(g)];
    PyObject* value = nullptr;
    // The namespace is gone only once the module has been cleared.
    if (s->module_dict && PyDict_GetItemRef(s->module_dict, key, &value) < 0) return nullptr;
    if (value) return value;
    PyObject* builtins = PyEval_GetBuiltins();
    if (builtins && PyDict_GetItemRef(builtins, key, &value) < 0) return nullptr;
    if (value) return value;
    PyErr_Format(PyExc_NameError, "name '%U' is not defined", key);
    return nullptr;
}

}  // namespace

// Caching is an optimisation: when the interpreter has no watcher slot left, every lookup simply
// goes to the namespace.
int module_globals_init(PyObject* module, ModuleState& s) {
    for (int i = 0; i < kGlobals; i++)
        if (!(s.global_keys[i] = PyUnicode_InternFromString(global_names[i]))) return -1;
    s.module_dict = Py_NewRef(PyModule_GetDict(module));
    s.names_epoch = 1;
    s.dict_watcher = PyDict_AddWatcher(on_dict_event);
    s.has_dict_watcher = s.dict_watcher >= 0;
    PyErr_Clear();
    type_watch_init(s);
    s.names_watched = s.has_dict_watcher && PyDict_Watch(s.dict_watcher, s.module_dict) == 0;
    PyErr_Clear();

    PyObject* builtins = PyEval_GetBuiltins();
    if (!builtins) return -1;
    if (PyDict_GetItemStringRef(builtins, "super", &s.builtin_super) <= 0 ||
        PyDict_GetItemStringRef(builtins, "ValueError", &s.builtin_ValueError) <= 0) {
        if (!PyErr_Occurred()) PyErr_SetString(PyExc_ImportError, "builtins lack super or ValueError");
        return -1;
    }
    return 0;
}

Ref global(Global g) {
    ModuleState* s = module_state;
    if (!s->names_watched) return Ref::steal(lookup_uncached(s, g));
    GlobalEntry& e = s->global_cache[static_cast<int>(g)];
    if (e.value && e.epoch == s->names_epoch) return Ref::borrow(e.value);

    PyObject* key = s->global_keys[static_cast<int>(g)];
    PyObject* value = nullptr;
    if (PyDict_GetItemRef(s->module_dict, key, &value) < 0) return {};
    if (!value) return Ref::steal(lookup_uncached(s, g));  // builtins are not cached
    Py_XSETREF(e.value, Py_NewRef(value));
    e.epoch = s->names_epoch;
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
    ModuleState* s = module_state;
    if (s->names_watched && watch_type(cls.get()) && watch_type(reinterpret_cast<PyObject*>(Py_TYPE(cls.get())))) {
        Py_XSETREF(c.cls, Py_NewRef(cls.get()));
        Py_XSETREF(c.value, Py_NewRef(value.get()));
        c.names_epoch = s->names_epoch;
        c.type_epoch = s->type_epoch;
    }
    return value;
}

}  // namespace zarnu
