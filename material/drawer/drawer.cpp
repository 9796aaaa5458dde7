// The module boundary: multi-phase initialisation (one interpreter, one live module object per
// process), its state (state.hpp), the imports, and the class statement's result bound as `Drawer`.
#include "binding_check.hpp"
#include "class_statement.hpp"
#include "props.hpp"
#include "sibling/contract.hpp"

namespace zarnu::drawer {
namespace {

constexpr const char* full_name = "zarnu.material.drawer.drawer";
constexpr const char* package_name = "zarnu.material.drawer";

std::int64_t main_interpreter_id = -1;
// The live module, from its exec until it goes (borrowed: `m_free` forgets it). At most one lives
// at a time; while it does, the create slot hands it back.
PyObject* module_object = nullptr;

// The module is initialised once per process: an import after it has left `sys.modules` gets the
// same module (and the same class) back, so a successful exec keeps it alive until the interpreter
// exits. Only then may it go like any other module, and `m_free` release its state.
PyObject* kept_module = nullptr;

PyObject* release_module(PyObject*, PyObject*) {
    Py_CLEAR(kept_module);
    Py_RETURN_NONE;
}

PyMethodDef release_module_def = {"_release", release_module, METH_NOARGS, nullptr};

int keep_until_exit(PyObject* module) {
    Ref atexit = Ref::steal(PyImport_ImportModule("atexit"));
    Ref release = atexit ? Ref::steal(PyCFunction_NewEx(&release_module_def, nullptr, nullptr)) : Ref();
    Ref registered = release ? Ref::steal(PyObject_CallMethod(atexit.get(), "register", "O", release.get())) : Ref();
    if (!registered) return -1;
    kept_module = Py_NewRef(module);
    return 0;
}

// ---- create slot ----

// Copies `<from>` of the import system's description of the module (name, loader, origin, ...)
// to the module's `<to>`; a missing attribute is skipped.
int copy_load_attr(PyObject* load_info, PyObject* module, const char* from, const char* to, bool skip_none) {
    Ref value = Ref::steal(PyObject_GetAttrString(load_info, from));
    if (!value) {
        if (!PyErr_ExceptionMatches(PyExc_AttributeError)) return -1;
        PyErr_Clear();
        return 0;
    }
    if (skip_none && value.get() == Py_None) return 0;
    return PyObject_SetAttrString(module, to, value.get());
}

PyObject* module_create(PyObject* load_info, PyModuleDef*) {
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

    Ref name = Ref::steal(PyObject_GetAttrString(load_info, "name"));
    Ref module = name ? Ref::steal(PyModule_NewObject(name.get())) : Ref();
    if (!module) return nullptr;
    if (copy_load_attr(load_info, module.get(), "loader", "__loader__", false) < 0 ||
        copy_load_attr(load_info, module.get(), "origin", "__file__", false) < 0 ||
        copy_load_attr(load_info, module.get(), "parent", "__package__", false) < 0 ||
        copy_load_attr(load_info, module.get(), "submodule_search_locations", "__path__", true) < 0)
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

    ModuleState& s = *module_state;
    if (!(s.function_type = function_type_new(module)) || names_init(s.names, s.constants) < 0 ||
        module_globals_init(module, s) < 0 || props_init(s) < 0)
        return -1;

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

// ---- the state ----

// The module's state block holds a pointer to its state (state.hpp); null before exec.
ModuleState** block_of(PyObject* module) { return static_cast<ModuleState**>(PyModule_GetState(module)); }

ModuleState* state_of(PyObject* module) {
    ModuleState** block = block_of(module);
    return block ? *block : nullptr;
}

int module_traverse(PyObject* module, visitproc visit, void* arg) { return state_traverse(state_of(module), visit, arg); }

int module_clear(PyObject* module) {
    state_clear(state_of(module));
    return 0;
}

void module_free(void* module) {
    if (module_object == module) module_object = nullptr;
    ModuleState** block = block_of(static_cast<PyObject*>(module));
    if (!block || !*block) return;
    state_free(*block);
    *block = nullptr;
}

int module_exec(PyObject* module) {
    ModuleState** block = block_of(module);
    if (!block) return -1;
    if (module_object) {
        if (module_object == module) {
            // Handed back by the create slot, the module has been given a new, empty state block
            // (the old one is no longer the module's): the state moves its pointer there.
            ModuleState* s = module_state;
            if (s && !*block && s->block != block) {
                PyMem_Free(s->block);
                s->block = block;
                *block = s;
            }
            return 0;
        }
        PyErr_SetString(PyExc_RuntimeError,
                        "Module 'drawer' has already been imported. Re-initialisation is not supported.");
        return -1;
    }
    auto* state = static_cast<ModuleState*>(PyMem_Calloc(1, sizeof(ModuleState)));
    if (!state) {
        PyErr_NoMemory();
        return -1;
    }
    state->block = block;
    *block = state;
    module_state = state;
    module_object = module;
    if (exec_body(module) == 0 && keep_until_exit(module) == 0) {
        registered_module = false;
        return 0;
    }

    if (!PyErr_Occurred()) PyErr_SetString(PyExc_ImportError, "init zarnu.material.drawer.drawer");
    add_init_traceback(module);
    unregister(module);
    module_object = nullptr;
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
    sizeof(ModuleState*),
    module_methods,
    module_slots,
    module_traverse,
    module_clear,
    module_free,
};

}  // namespace
}  // namespace zarnu::drawer

PyMODINIT_FUNC PyInit_drawer() { return PyModuleDef_Init(&zarnu::drawer::module_def); }
