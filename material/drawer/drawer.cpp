// The module boundary: multi-phase initialisation (one interpreter, one module object per
// process), the imports, and the assembly of the class `Drawer`.
#include "binding_check.hpp"
#include "methods.hpp"
#include "props.hpp"
#include "sibling/contract.hpp"

#include <span>

namespace zarnu::drawer {
namespace {

constexpr const char* full_name = "zarnu.material.drawer.drawer";
constexpr const char* package_name = "zarnu.material.drawer";

std::int64_t main_interpreter_id = -1;
PyObject* module_object = nullptr;  // the initialised module, once exec has run

// ---- create slot ----

// Copies `spec.<from>` to the module's `<to>`; a missing attribute is skipped.
int copy_spec_attr(PyObject* spec, PyObject* module, const char* from, const char* to, bool skip_none) {
    Ref value = Ref::steal(PyObject_GetAttrString(spec, from));
    if (!value) {
        if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return -1;
        PyErr_Clear();
        return 0;
    }
    if (skip_none && value.get() == Py_None) return 0;
    return PyObject_SetAttrString(module, to, value.get());
}

PyObject* module_create(PyObject* spec, PyModuleDef*) {
    std::int64_t id = PyInterpreterState_GetID(PyInterpreterState_Get());
    if (id == -1) return nullptr;
    if (main_interpreter_id == -1) {
        main_interpreter_id = id;
    } else if (id != main_interpreter_id) {
        PyErr_SetString(PyExc_ImportError,
                        "Interpreter change detected - this module can only be loaded into one interpreter per process.");
        return nullptr;
    }
    if (module_object) return Py_NewRef(module_object);

    Ref name = Ref::steal(PyObject_GetAttrString(spec, "name"));
    Ref module = name ? Ref::steal(PyModule_NewObject(name.get())) : Ref();
    if (!module) return nullptr;
    if (copy_spec_attr(spec, module.get(), "loader", "__loader__", false) < 0 ||
        copy_spec_attr(spec, module.get(), "origin", "__file__", false) < 0 ||
        copy_spec_attr(spec, module.get(), "parent", "__package__", false) < 0 ||
        copy_spec_attr(spec, module.get(), "submodule_search_locations", "__path__", true) < 0)
        return nullptr;
    return module.release();
}

// ---- imports ----

// `package_globals` stands in for the namespace in relative imports: they resolve against the
// package whatever name the file was loaded under.
int import_names(PyObject* globals, PyObject* package_globals, const sibling::Import& imp) {
    Ref name = Ref::steal(PyUnicode_FromString(imp.module));
    Ref locals = Ref::steal(PyDict_New());
    Ref fromlist = Ref::steal(PyList_New(0));
    if (!name || !locals || !fromlist) return -1;
    for (std::size_t i = 0; i < imp.count; i++) {
        Ref n = Ref::steal(PyUnicode_InternFromString(imp.names[i]));
        if (!n || PyList_Append(fromlist.get(), n.get()) < 0) return -1;
    }
    Ref module = Ref::steal(PyImport_ImportModuleLevelObject(name.get(), imp.level > 0 ? package_globals : globals,
                                                             locals.get(), fromlist.get(), imp.level));
    if (!module) return -1;
    if (!imp.names) return PyDict_SetItem(globals, name.get(), module.get());

    for (Py_ssize_t i = 0; i < PyList_GET_SIZE(fromlist.get()); i++) {
        PyObject* n = PyList_GET_ITEM(fromlist.get(), i);
        Ref value = getattr(module.get(), n);
        if (!value) {
            if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return -1;
            PyErr_Clear();
            // A submodule that is loaded but not (yet) an attribute of its package.
            Ref module_name = getattr(module.get(), N.__name__);
            Ref full = module_name ? Ref::steal(PyUnicode_FromFormat("%S.%U", module_name.get(), n)) : Ref();
            if (!full) {
                PyErr_Clear();
            } else {
                PyObject* found = nullptr;
                if (PyDict_GetItemRef(PyImport_GetModuleDict(), full.get(), &found) < 0) return -1;
                value = Ref::steal(found);
            }
            if (!value) {
                PyErr_Format(PyExc_ImportError, "cannot import name %S", n);
                return -1;
            }
        }
        if (PyDict_SetItem(globals, n, value.get()) < 0) return -1;
    }
    return 0;
}

// ---- class assembly ----

// LOAD_NAME inside the class body: the class namespace, the module namespace, the builtins.
Ref body_name(PyObject* ns, PyObject* globals, const char* text) {
    Ref key = Ref::steal(PyUnicode_InternFromString(text));
    if (!key) return {};
    Ref value = Ref::steal(PyObject_GetItem(ns, key.get()));
    if (value || !PyErr_ExceptionMatches(PyExc_KeyError)) return value;
    PyErr_Clear();
    PyObject* found = nullptr;
    if (PyDict_GetItemRef(globals, key.get(), &found) < 0) return {};
    if (!found && PyDict_GetItemRef(PyEval_GetBuiltins(), key.get(), &found) < 0) return {};
    if (!found) PyErr_Format(PyExc_NameError, "name '%U' is not defined", key.get());
    return Ref::steal(found);
}

struct ClassBody {
    PyObject* ns;
    PyObject* globals;
    PyObject* module_name;

    // Keys are interned, as the compiler interns the names a class body binds: a key that is
    // only equal to the looked-up name costs a string comparison on every lookup in the class
    // dict that the binding makes itself.
    int bind(const char* name, PyObject* value) {
        Ref key = Ref::steal(PyUnicode_InternFromString(name));
        return key ? PyObject_SetItem(ns, key.get(), value) : -1;
    }

    Ref make(const FunctionDef& def, PyObject* defaults = nullptr, PyObject* annotations = nullptr,
             const void* data = nullptr) {
        Ref qualname = Ref::steal(PyUnicode_FromFormat("Drawer.%s", def.name));
        if (!qualname) return {};
        return function_new(def, qualname.get(), module_name, globals, defaults, annotations, data);
    }

    int define(const FunctionDef& def, PyObject* defaults = nullptr, PyObject* annotations = nullptr) {
        Ref fn = make(def, defaults, annotations);
        return fn ? bind(def.name, fn.get()) : -1;
    }

    Ref form(Form f) {
        switch (f) {
            case Form::State: return body_name(ns, globals, "State");
            case Form::Str: return Ref::borrow(reinterpret_cast<PyObject*>(&PyUnicode_Type));
            case Form::Int: return Ref::borrow(reinterpret_cast<PyObject*>(&PyLong_Type));
            case Form::Bool: return Ref::borrow(reinterpret_cast<PyObject*>(&PyBool_Type));
            case Form::Dict: return body_name(ns, globals, "Dict");
            case Form::Callable: return body_name(ns, globals, "Callable");
            case Form::QWidget: return body_name(ns, globals, "QWidget");
            case Form::QWidgetList: {
                Ref List = body_name(ns, globals, "List");
                Ref QWidget = List ? body_name(ns, globals, "QWidget") : Ref();
                return QWidget ? Ref::steal(PyObject_GetItem(List.get(), QWidget.get())) : Ref();
            }
            case Form::None: return Ref::borrow(Py_None);
            case Form::Absent: break;
        }
        PyErr_SetString(PyExc_SystemError, "no such form");
        return {};
    }

    // `@_validate_param(file_path=..., param_name=..., supported_signatures=Union[...][, valid_values=...])`
    // applied to the setter, then the getter.
    int define_prop(const Param& prop, const Accessors& accessors) {
        Ref setter;
        if (prop.validated) {
            Ref factory = body_name(ns, globals, "_validate_param");
            Ref file_path = factory ? Ref::steal(PyUnicode_FromString(sibling::validation_file_path)) : Ref();
            Ref param_name = file_path ? Ref::steal(PyUnicode_FromString(prop.name)) : Ref();
            Ref Union = param_name ? body_name(ns, globals, "Union") : Ref();
            Ref members = Union ? Ref::steal(PyTuple_New(form_count(prop))) : Ref();
            if (!members) return -1;
            for (std::size_t i = 0; i < form_count(prop); i++) {
                Ref m = form(prop.forms[i]);
                if (!m) return -1;
                PyTuple_SET_ITEM(members.get(), i, m.release());
            }
            Ref signatures = Ref::steal(PyObject_GetItem(Union.get(), members.get()));
            if (!signatures) return -1;
            Ref valid, kwnames;
            if (!prop.valid) {
                kwnames = Ref::steal(PyTuple_Pack(3, N.file_path, N.param_name, N.supported_signatures));
            } else {
                valid = body_name(ns, globals, prop.valid->attr);
                if (!valid) return -1;
                kwnames = Ref::steal(
                    PyTuple_Pack(4, N.file_path, N.param_name, N.supported_signatures, N.valid_values));
            }
            if (!kwnames) return -1;
            PyObject* args[4] = {file_path.get(), param_name.get(), signatures.get(), valid.get()};
            Ref decorator = Ref::steal(PyObject_Vectorcall(factory.get(), args, 0, kwnames.get()));
            if (!decorator) return -1;
            Ref plain = make(accessors.setter, nullptr, nullptr, &prop);
            setter = plain ? call(decorator.get(), plain.get()) : Ref();
        } else {
            setter = make(accessors.setter, nullptr, nullptr, &prop);
        }
        if (!setter || bind(accessors.setter.name, setter.get()) < 0) return -1;
        Ref getter = make(accessors.getter, nullptr, nullptr, &prop);
        return getter ? bind(accessors.getter.name, getter.get()) : -1;
    }
};

Ref string_list(std::span<const char* const> items) {
    Ref list = Ref::steal(PyList_New(0));
    if (!list) return {};
    for (const char* s : items) {
        Ref item = Ref::steal(PyUnicode_FromString(s));
        if (!item || PyList_Append(list.get(), item.get()) < 0) return {};
    }
    return list;
}

// `__mro_entries__` resolution, as a class statement does it; sets `orig` when bases changed.
Ref resolve_bases(PyObject* bases, Ref& orig) {
    Ref resolved = Ref::steal(PyList_New(0));
    if (!resolved) return {};
    bool changed = false;
    for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(bases); i++) {
        PyObject* base = PyTuple_GET_ITEM(bases, i);
        Ref entries;
        PyObject* meth = nullptr;
        if (!PyType_Check(base) && PyObject_GetOptionalAttr(base, N.__mro_entries__, &meth) < 0) return {};
        Ref holder = Ref::steal(meth);
        if (holder) {
            entries = call(holder.get(), bases);
            if (!entries) return {};
            if (!PyTuple_Check(entries.get())) {
                PyErr_SetString(PyExc_TypeError, "__mro_entries__ must return a tuple");
                return {};
            }
            changed = true;
            for (Py_ssize_t j = 0; j < PyTuple_GET_SIZE(entries.get()); j++)
                if (PyList_Append(resolved.get(), PyTuple_GET_ITEM(entries.get(), j)) < 0) return {};
        } else if (PyList_Append(resolved.get(), base) < 0) {
            return {};
        }
    }
    if (!changed) return Ref::borrow(bases);
    orig = Ref::borrow(bases);
    return Ref::steal(PyList_AsTuple(resolved.get()));
}

// The most derived metaclass of the bases.
Ref metaclass_of(PyObject* bases) {
    PyTypeObject* winner = &PyType_Type;
    for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(bases); i++) {
        PyTypeObject* t = Py_TYPE(PyTuple_GET_ITEM(bases, i));
        if (PyType_IsSubtype(winner, t)) continue;
        if (PyType_IsSubtype(t, winner)) {
            winner = t;
            continue;
        }
        PyErr_SetString(PyExc_TypeError,
                        "metaclass conflict: the metaclass of a derived class must be a (non-strict) subclass "
                        "of the metaclasses of all its bases");
        return {};
    }
    return Ref::borrow(reinterpret_cast<PyObject*>(winner));
}

Ref build_class(PyObject* globals, PyObject* module_name) {
    Ref drawer_name = Ref::steal(PyUnicode_InternFromString("Drawer"));
    if (!drawer_name) return {};
    Ref empty_ns = Ref::steal(PyDict_New());
    Ref QSplitter = empty_ns ? body_name(empty_ns.get(), globals, "QSplitter") : Ref();
    Ref bases = QSplitter ? Ref::steal(PyTuple_Pack(1, QSplitter.get())) : Ref();
    if (!bases) return {};
    Ref orig_bases;
    Ref resolved = resolve_bases(bases.get(), orig_bases);
    Ref meta = resolved ? metaclass_of(resolved.get()) : Ref();
    if (!meta) return {};

    PyObject* prepare = nullptr;
    if (PyObject_GetOptionalAttr(meta.get(), N.__prepare__, &prepare) < 0) return {};
    Ref prepare_ref = Ref::steal(prepare);
    Ref ns = prepare_ref ? call(prepare_ref.get(), drawer_name.get(), resolved.get()) : Ref::steal(PyDict_New());
    if (!ns) return {};

    ClassBody body{ns.get(), globals, module_name};
    Ref doc = class_doc_text();
    if (!doc || body.bind("__module__", module_name) < 0 || body.bind("__qualname__", drawer_name.get()) < 0 ||
        body.bind("__doc__", doc.get()) < 0)
        return {};

    for (const ValidValues* list : valid_value_lists) {
        Ref values = string_list(list->values);
        if (!values || body.bind(list->attr, values.get()) < 0) return {};
    }

    Ref init_defs = param_defaults();
    Ref init_ann = init_defs ? param_annotations() : Ref();
    Ref init = init_ann ? body.make(init_def, init_defs.get(), init_ann.get()) : Ref();
    if (!init || body.bind("__init__", init.get()) < 0) return {};

    for (std::size_t i = 0; i < std::size(params); i++)
        if (params[i].prop && body.define_prop(params[i], accessors_of(i)) < 0) return {};

    if (body.define(init_ui_def) < 0 || body.define(set_stylesheet_def) < 0) return {};

    // Evaluated once: every call that omits `color` receives this very colour.
    Ref QColor = body_name(ns.get(), globals, "QColor");
    Ref black = QColor ? call(QColor.get(), C.int0, C.int0, C.int0, C.int50) : Ref();
    Ref shadow_defaults = black ? Ref::steal(Py_BuildValue("(i(ii)O)", 60, 0, 10, black.get())) : Ref();
    if (!shadow_defaults || body.define(set_shadow_effect_def, shadow_defaults.get()) < 0) return {};

    Ref show_ann = Ref::steal(Py_BuildValue("{s:s}", "state", "bool"));
    if (!show_ann || body.define(retranslation_def) < 0 || body.define(show_def, nullptr, show_ann.get()) < 0 ||
        body.define(close_def) < 0 || body.define(show_drawer_def) < 0 || body.define(update_position_def) < 0)
        return {};
    Ref filter = body.make(event_filter_def);
    if (!filter || body.bind("eventFilter", filter.get()) < 0) return {};

    if (orig_bases && PyMapping_SetItemString(ns.get(), "__orig_bases__", orig_bases.get()) < 0) return {};
    Ref cls = call(meta.get(), drawer_name.get(), resolved.get(), ns.get());
    if (!cls) return {};
    // The `super()` owner of the two methods that chain to the next class.
    function_set_owner(init.get(), cls.get());
    function_set_owner(filter.get(), cls.get());
    return cls;
}

// ---- exec slot ----

// Set while exec has put the module into `sys.modules` itself, so that a failure takes it out.
bool registered_module = false;

int exec_body(PyObject* module) {
    PyObject* globals = PyModule_GetDict(module);
    Ref builtins = Ref::steal(PyImport_ImportModule("builtins"));
    if (!builtins || PyObject_SetAttrString(module, "__builtins__", builtins.get()) < 0) return -1;

    int major = (Py_Version >> 24) & 0xff, minor = (Py_Version >> 16) & 0xff;
    if ((major != 3 || minor != 13) &&
        PyErr_WarnFormat(PyExc_RuntimeWarning, 1, "compile time Python version %d.%d of module '%.100s' %s runtime version %d.%d",
                         3, 13, full_name, "does not match", major, minor) < 0)
        return -1;

    if (function_type_ready() < 0 || runtime_init(module) < 0 || props_init() < 0) return -1;

    PyObject* modules = PyImport_GetModuleDict();
    int present = PyDict_ContainsString(modules, full_name);
    if (present < 0 || (!present && PyDict_SetItemString(modules, full_name, module) < 0)) return -1;
    registered_module = !present;

    Ref package_globals = Ref::steal(Py_BuildValue("{s:s}", "__package__", package_name));
    if (!package_globals) return -1;
    for (const sibling::Import& imp : sibling::imports)
        if (import_names(globals, package_globals.get(), imp) < 0) return -1;
    if (check_binding() < 0) return -1;

    Ref module_name = Ref::steal(PyUnicode_FromString(full_name));
    Ref cls = module_name ? build_class(globals, module_name.get()) : Ref();
    if (!cls) return -1;
    return PyDict_SetItemString(globals, "Drawer", cls.get());
}

// Undoes what a failed exec registered: the `sys.modules` entry it made (when it still holds
// this module), so that the next import starts afresh.
void unregister(PyObject* module) {
    if (!registered_module) return;
    registered_module = false;
    PyObject* exc = PyErr_GetRaisedException();
    PyObject* modules = PyImport_GetModuleDict();
    PyObject* entry = nullptr;
    if (PyDict_GetItemStringRef(modules, full_name, &entry) > 0 && entry == module)
        PyDict_DelItemString(modules, full_name);
    Py_XDECREF(entry);
    PyErr_SetRaisedException(exc);
}

// The traceback entry of a failed initialisation, named as the interpreter names a module body.
void add_init_traceback(PyObject* module) {
    PyObject* exc = PyErr_GetRaisedException();
    PyObject* file = nullptr;
    const char* filename = "drawer";
    if (PyDict_GetItemStringRef(PyModule_GetDict(module), "__file__", &file) > 0 && PyUnicode_Check(file))
        filename = PyUnicode_AsUTF8(file);
    PyCodeObject* code = filename ? PyCode_NewEmpty(filename, "init zarnu.material.drawer.drawer", 0) : nullptr;
    Py_XDECREF(file);
    PyErr_Clear();
    PyErr_SetRaisedException(exc);
    if (!code) return;
    add_traceback(reinterpret_cast<PyObject*>(code), PyModule_GetDict(module));
    Py_DECREF(code);
}

int module_exec(PyObject* module) {
    if (module_object) {
        if (module_object == module) return 0;
        PyErr_SetString(PyExc_RuntimeError,
                        "Module 'drawer' has already been imported. Re-initialisation is not supported.");
        return -1;
    }
    module_object = Py_NewRef(module);
    if (exec_body(module) == 0) {
        registered_module = false;
        return 0;
    }

    if (!PyErr_Occurred()) PyErr_SetString(PyExc_ImportError, "init zarnu.material.drawer.drawer");
    add_init_traceback(module);
    unregister(module);
    Py_CLEAR(module_object);
    return -1;
}

PyModuleDef_Slot module_slots[] = {
    {Py_mod_create, reinterpret_cast<void*>(module_create)},
    {Py_mod_exec, reinterpret_cast<void*>(module_exec)},
    {0, nullptr},
};

PyMethodDef module_methods[] = {{nullptr, nullptr, 0, nullptr}};

PyModuleDef module_def = {
    PyModuleDef_HEAD_INIT,
    "drawer",
    nullptr,
    0,
    module_methods,
    module_slots,
    nullptr,
    nullptr,
    nullptr,
};

}  // namespace
}  // namespace zarnu::drawer

PyMODINIT_FUNC PyInit_drawer() { return PyModuleDef_Init(&zarnu::drawer::module_def); }
