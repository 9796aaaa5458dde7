#include "runtime.hpp"

namespace zarnu {

Names N;
Constants C;
std::uint64_t names_epoch = 1;
std::uint64_t type_epoch = 1;
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
int type_watcher = -1;

int on_dict_event(PyDict_WatchEvent, PyObject* dict, PyObject*, PyObject*) {
    if (dict == module_dict) ++names_epoch;
    return 0;
}

int on_type_event(PyTypeObject*) {
    ++type_epoch;
    return 0;
}

// Makes sure that a change of `type` (or of a base) reaches the type watcher; false when the
// interpreter cannot promise it, in which case nothing is cached for that type.
bool watch_type(PyObject* type) {
    if (type_watcher < 0 || !PyType_Check(type)) return false;
    if (!PyUnstable_Type_AssignVersionTag(reinterpret_cast<PyTypeObject*>(type))) return false;
    if (PyType_Watch(type_watcher, type) < 0) {
        PyErr_Clear();
        return false;
    }
    return true;
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

}  // namespace

namespace {

int intern_constants() {
#define ZARNU_INTERN_NAME(n) \
    if (!(N.n = PyUnicode_InternFromString(#n))) return -1;
    ZARNU_NAMES(ZARNU_INTERN_NAME)
    ZARNU_SIBLING_NAMES(ZARNU_INTERN_NAME)
#undef ZARNU_INTERN_NAME

    struct {
        PyObject** slot;
        const char* text;
    } strings[] = {
        {&C.anchor, "anchor"}, {&C.variant, "variant"}, {&C.left, "left"}, {&C.right, "right"},
        {&C.top, "top"}, {&C.bottom, "bottom"}, {&C.PyDrawer, sibling::theme_component}, {&C.contentFrame, "contentFrame"},
        {&C.transparent, "background-color: transparent;"}, {&C.styles, sibling::theme_styles}, {&C.root, sibling::theme_root},
        {&C.empty, ""},
    };
    for (auto& s : strings)
        if (!(*s.slot = PyUnicode_InternFromString(s.text))) return -1;
    if (!(C.int0 = PyLong_FromLong(0)) || !(C.int1 = PyLong_FromLong(1)) || !(C.int50 = PyLong_FromLong(50)) ||
        !(C.int50000 = PyLong_FromLong(50000)))
        return -1;

    for (int i = 0; i < static_cast<int>(Global::Count); i++)
        if (!(global_keys[i] = PyUnicode_InternFromString(global_names[i]))) return -1;
    return 0;
}

}  // namespace

int runtime_init(PyObject* module) {
    // A failed import may be retried with a new module object: constants and watchers are made
    // once, the namespace is bound anew.
    static bool constants_ready = false;
    static int dict_watcher = -1;
    if (!constants_ready) {
        if (intern_constants() < 0) return -1;
        constants_ready = true;
        // Caching is an optimisation: when the interpreter has no watcher slot left, every
        // lookup simply goes to the namespace.
        dict_watcher = PyDict_AddWatcher(on_dict_event);
        type_watcher = PyType_AddWatcher(on_type_event);
        PyErr_Clear();
    }
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

namespace {

// Whether `_PyType_Lookup(type, name)` gives `expected`, remembered for the last type asked while
// its version tag stands: any change of the type or of a base leaves it with a new tag (tags are
// never given twice), and a type without one is not remembered.
struct LookupMemo {
    PyTypeObject* type = nullptr;
    unsigned int tag = 0;
    bool same = false;
};

bool lookup_is(PyTypeObject* type, PyObject* name, PyObject* expected, LookupMemo& m) {
    if (m.tag && m.type == type && m.tag == type->tp_version_tag) return m.same;
    bool same = _PyType_Lookup(type, name) == expected;
    m = {type, type->tp_version_tag, same};
    return same;
}

}  // namespace

int is_instance(PyObject* obj, PyObject* cls) {
    if (Py_IS_TYPE(obj, reinterpret_cast<PyTypeObject*>(cls))) return 1;
    if (!PyType_Check(cls) || PyType_CheckExact(cls)) return PyObject_IsInstance(obj, cls);
    static PyObject* type_instancecheck = _PyType_Lookup(&PyType_Type, N.__instancecheck__);
    static LookupMemo meta_memo;
    if (!type_instancecheck || !lookup_is(Py_TYPE(cls), N.__instancecheck__, type_instancecheck, meta_memo))
        return PyObject_IsInstance(obj, cls);
    PyTypeObject* type = reinterpret_cast<PyTypeObject*>(cls);
    if (PyObject_TypeCheck(obj, type)) return 1;
    // With generic attribute lookup and `object`'s own `__class__` (a data descriptor), the
    // lookup below can only give `type(obj)`.
    static PyObject* object_class = _PyType_Lookup(&PyBaseObject_Type, N.__class__);
    static LookupMemo class_memo;
    if (Py_TYPE(obj)->tp_getattro == PyObject_GenericGetAttr && object_class &&
        lookup_is(Py_TYPE(obj), N.__class__, object_class, class_memo))
        return 0;
    PyObject* icls = nullptr;
    if (PyObject_GetOptionalAttr(obj, N.__class__, &icls) < 0) return -1;
    Ref holder = Ref::steal(icls);
    if (!icls || icls == reinterpret_cast<PyObject*>(Py_TYPE(obj)) || !PyType_Check(icls)) return 0;
    return PyType_IsSubtype(reinterpret_cast<PyTypeObject*>(icls), type);
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

namespace {

// The attribute that `super(owner, obj).name` would find, unbound, with the type it binds to.
Ref super_lookup(PyObject* owner, PyTypeObject* start, PyObject* name) {
    PyObject* mro = start->tp_mro;
    if (!mro) {
        PyErr_SetString(PyExc_TypeError, "super(): type has no method resolution order");
        return {};
    }
    Py_ssize_t n = PyTuple_GET_SIZE(mro), i = 0;
    while (i < n && PyTuple_GET_ITEM(mro, i) != owner) i++;
    for (i++; i < n; i++) {
        Ref dict = Ref::steal(PyType_GetDict(reinterpret_cast<PyTypeObject*>(PyTuple_GET_ITEM(mro, i))));
        if (!dict) continue;
        PyObject* found = nullptr;
        if (PyDict_GetItemRef(dict.get(), name, &found) < 0) return {};
        if (found) return Ref::steal(found);
    }
    PyErr_Format(PyExc_AttributeError, "'super' object has no attribute '%U'", name);
    return {};
}

}  // namespace

Ref super_call(Function* fn, PyObject* name, SuperCache& c, PyObject* const* args, Py_ssize_t nargs) {
    PyObject* owner = fn->owner;
    if (!owner) {
        PyErr_SetString(PyExc_RuntimeError, "super(): __class__ cell not found");
        return {};
    }
    PyObject* self = args[0];
    PyTypeObject* start = Py_TYPE(self);
    // An entry is made for a type and owner only after the subtype check below has passed; a
    // change of the bases of either moves the type epoch on.
    Ref attr;
    if (c.attr && c.type == reinterpret_cast<PyObject*>(start) && c.owner == owner && c.type_epoch == type_epoch) {
        attr = Ref::borrow(c.attr);
    } else {
        if (!PyType_IsSubtype(start, reinterpret_cast<PyTypeObject*>(owner))) {
            // A class as `self` (super(owner, cls)) is rare enough to go the interpreter's own way.
            if (PyType_Check(self) && PyType_IsSubtype(reinterpret_cast<PyTypeObject*>(self),
                                                       reinterpret_cast<PyTypeObject*>(owner))) {
                Ref sup = call(builtin_super, owner, self);
                if (!sup) return {};
                Ref bound = getattr(sup.get(), name);
                if (!bound) return {};
                return Ref::steal(PyObject_Vectorcall(bound.get(), args + 1, nargs - 1, nullptr));
            }
            bool is_type = PyType_Check(self);
            PyErr_Format(PyExc_TypeError,
                         "super(type, obj): obj (%s %.200s) is not an instance or subtype of type (%.200s).",
                         is_type ? "type" : "instance of",
                         is_type ? reinterpret_cast<PyTypeObject*>(self)->tp_name : Py_TYPE(self)->tp_name,
                         reinterpret_cast<PyTypeObject*>(owner)->tp_name);
            return {};
        }
        attr = super_lookup(owner, start, name);
        if (!attr) return {};
        if (watch_type(reinterpret_cast<PyObject*>(start))) {
            Py_XSETREF(c.type, Py_NewRef(reinterpret_cast<PyObject*>(start)));
            Py_XSETREF(c.owner, Py_NewRef(owner));
            Py_XSETREF(c.attr, Py_NewRef(attr.get()));
            c.type_epoch = type_epoch;
        }
    }

    PyTypeObject* at = Py_TYPE(attr.get());
    if (PyType_HasFeature(at, Py_TPFLAGS_METHOD_DESCRIPTOR))
        return Ref::steal(PyObject_Vectorcall(attr.get(), args, nargs, nullptr));
    if (!at->tp_descr_get) return Ref::steal(PyObject_Vectorcall(attr.get(), args + 1, nargs - 1, nullptr));
    Ref bound = Ref::steal(at->tp_descr_get(attr.get(), self, reinterpret_cast<PyObject*>(start)));
    if (!bound) return {};
    return Ref::steal(PyObject_Vectorcall(bound.get(), args + 1, nargs - 1, nullptr));
}

}  // namespace zarnu
