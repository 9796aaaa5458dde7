#include "function.hpp"

#include <structmember.h>

#include <string>

namespace zarnu {
namespace {

constexpr Py_ssize_t kMaxParams = 32;

// ---- argument binding errors, worded as the interpreter words them for Python functions ----

void too_many_positional(Function* f, Py_ssize_t given) {
    Py_ssize_t argcount = f->def->nparams;
    Py_ssize_t defcount = f->defaults ? PyTuple_GET_SIZE(f->defaults) : 0;
    Ref sig;
    bool plural;
    if (defcount) {
        plural = true;
        sig = Ref::steal(PyUnicode_FromFormat("from %zd to %zd", argcount - defcount, argcount));
    } else {
        plural = argcount != 1;
        sig = Ref::steal(PyUnicode_FromFormat("%zd", argcount));
    }
    if (!sig) return;
    PyErr_Format(PyExc_TypeError, "%U() takes %U positional argument%s but %zd %s given",
                 f->qualname, sig.get(), plural ? "s" : "", given, given == 1 ? "was" : "were");
}

void missing_arguments(Function* f, PyObject* const* slots) {
    Ref names = Ref::steal(PyList_New(0));
    if (!names) return;
    for (Py_ssize_t i = 0; i < f->def->nparams; i++) {
        if (slots[i]) continue;
        Ref r = Ref::steal(PyObject_Repr(PyTuple_GET_ITEM(f->varnames, i)));
        if (!r || PyList_Append(names.get(), r.get()) < 0) return;
    }
    Py_ssize_t n = PyList_GET_SIZE(names.get());
    Ref text;
    if (n == 1) {
        text = Ref::borrow(PyList_GET_ITEM(names.get(), 0));
    } else if (n == 2) {
        text = Ref::steal(PyUnicode_FromFormat("%U and %U", PyList_GET_ITEM(names.get(), 0),
                                               PyList_GET_ITEM(names.get(), 1)));
    } else {
        Ref tail = Ref::steal(PyUnicode_FromFormat("%U, %U, and %U", PyList_GET_ITEM(names.get(), n - 3),
                                                   PyList_GET_ITEM(names.get(), n - 2),
                                                   PyList_GET_ITEM(names.get(), n - 1)));
        if (!tail || PyList_SetSlice(names.get(), n - 3, n, nullptr) < 0 ||
            PyList_Append(names.get(), tail.get()) < 0)
            return;
        Ref comma = Ref::steal(PyUnicode_FromString(", "));
        if (!comma) return;
        text = Ref::steal(PyUnicode_Join(comma.get(), names.get()));
    }
    if (!text) return;
    PyErr_Format(PyExc_TypeError, "%U() missing %zd required positional argument%s: %U", f->qualname, n,
                 n == 1 ? "" : "s", text.get());
}

Py_ssize_t find_param(Function* f, PyObject* key) {
    Py_ssize_t n = f->def->nparams;
    PyObject** names = &PyTuple_GET_ITEM(f->varnames, 0);
    for (Py_ssize_t i = 0; i < n; i++)
        if (names[i] == key) return i;
    for (Py_ssize_t i = 0; i < n; i++) {
        int eq = PyUnicode_Compare(names[i], key);
        if (eq == 0) return i;
        if (eq == -1 && PyErr_Occurred()) return -2;
    }
    return -1;
}

// Keywords, defaults, surplus arguments: kept out of line, so that a call passing exactly the
// positional parameters does not set up this frame.
[[gnu::noinline]] PyObject* bind_and_call(Function* f, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    const FunctionDef* def = f->def;
    Py_ssize_t nkw = kwnames ? PyTuple_GET_SIZE(kwnames) : 0;
    PyObject* slots[kMaxParams] = {};
    Py_ssize_t npos = nargs < def->nparams ? nargs : def->nparams;
    for (Py_ssize_t i = 0; i < npos; i++) slots[i] = args[i];

    for (Py_ssize_t k = 0; k < nkw; k++) {
        PyObject* key = PyTuple_GET_ITEM(kwnames, k);
        if (!PyUnicode_Check(key)) {
            PyErr_Format(PyExc_TypeError, "%U() keywords must be strings", f->qualname);
            return nullptr;
        }
        Py_ssize_t j = find_param(f, key);
        if (j == -2) return nullptr;
        if (j < 0) {
            if (def->varkw) continue;
            PyErr_Format(PyExc_TypeError, "%U() got an unexpected keyword argument '%S'", f->qualname, key);
            return nullptr;
        }
        if (slots[j]) {
            PyErr_Format(PyExc_TypeError, "%U() got multiple values for argument '%S'", f->qualname, key);
            return nullptr;
        }
        slots[j] = args[nargs + k];
    }

    if (nargs > def->nparams && !def->varargs) {
        too_many_positional(f, nargs);
        return nullptr;
    }

    // Defaults fill the trailing parameters; hold them while the call runs, since
    // `__defaults__` may be replaced meanwhile.
    Ref defaults = Ref::borrow(f->defaults);
    Py_ssize_t ndef = defaults ? PyTuple_GET_SIZE(defaults.get()) : 0;
    Py_ssize_t first_default = def->nparams - ndef;
    bool missing = false;
    for (Py_ssize_t i = npos; i < def->nparams; i++) {
        if (slots[i]) continue;
        if (i >= first_default)
            slots[i] = PyTuple_GET_ITEM(defaults.get(), i - first_default);
        else
            missing = true;
    }
    if (missing) {
        missing_arguments(f, slots);
        return nullptr;
    }
    return def->impl(f, slots);
}

PyObject* function_vectorcall(PyObject* callable, PyObject* const* args, size_t nargsf, PyObject* kwnames) {
    Function* f = as_function(callable);
    Py_ssize_t nargs = PyVectorcall_NARGS(nargsf);
    if (!kwnames && nargs == f->def->nparams) return f->def->impl(f, args);
    return bind_and_call(f, args, nargs, kwnames);
}

// ---- the Python-visible attributes ----

// An attribute held in a field of the function: the setter accepts what `Check` accepts, and
// with `NoneClears` also None (or deletion), which empties the field; the getter gives None for
// an empty field. The message for a refused value travels in the getset closure.
template <PyObject* Function::*Field>
PyObject* get_field(Function* f, void*) {
    return Py_NewRef(f->*Field ? f->*Field : Py_None);
}

template <PyObject* Function::*Field, int (*Check)(PyObject*), bool NoneClears>
int set_field(Function* f, PyObject* v, void* message) {
    if (NoneClears && v == Py_None) v = nullptr;
    if (v ? !Check(v) : !NoneClears) {
        PyErr_SetString(PyExc_TypeError, static_cast<const char*>(message));
        return -1;
    }
    Py_XSETREF(f->*Field, Py_XNewRef(v));
    return 0;
}

int is_str(PyObject* o) { return PyUnicode_Check(o); }
int is_tuple(PyObject* o) { return PyTuple_Check(o); }
int is_dict(PyObject* o) { return PyDict_Check(o); }

PyObject* get_annotations(Function* f, void*) {
    if (!f->annotations && !(f->annotations = PyDict_New())) return nullptr;
    return Py_NewRef(f->annotations);
}

PyObject* get_closure(Function*, void*) { Py_RETURN_NONE; }

PyObject* get_builtins(Function*, void*) { return Py_NewRef(PyEval_GetBuiltins()); }

// A real code object with this function's parameters, so that tools (and signal bindings)
// that read `__code__` see the true shape. Its body does nothing; it is never run by us.
PyObject* make_code(Function* f) {
    const FunctionDef* def = f->def;
    std::string src = "def ";
    src += def->name;
    src += "(";
    for (Py_ssize_t i = 0; i < def->nparams; i++) {
        if (i) src += ", ";
        src += def->params[i];
    }
    if (def->varargs) src += def->nparams ? ", *args" : "*args";
    if (def->varkw) src += (def->nparams || def->varargs) ? ", **kwargs" : "**kwargs";
    src += "): pass\n";

    Ref filename = Ref::steal(PyUnicode_FromFormat("<%U>", f->module));
    if (!filename) return nullptr;
    Ref module_code = Ref::steal(Py_CompileStringObject(src.c_str(), filename.get(), Py_file_input, nullptr, -1));
    if (!module_code) return nullptr;
    Ref consts = Ref::steal(PyObject_GetAttrString(module_code.get(), "co_consts"));
    if (!consts) return nullptr;
    for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(consts.get()); i++) {
        PyObject* c = PyTuple_GET_ITEM(consts.get(), i);
        if (!PyCode_Check(c)) continue;
        Ref replace = Ref::steal(PyObject_GetAttrString(c, "replace"));
        Ref kwargs = Ref::steal(Py_BuildValue("{s:O}", "co_qualname", f->qualname));
        Ref empty = Ref::steal(PyTuple_New(0));
        if (!replace || !kwargs || !empty) return nullptr;
        return PyObject_Call(replace.get(), empty.get(), kwargs.get());
    }
    PyErr_SetString(PyExc_SystemError, "no code object compiled");
    return nullptr;
}

PyObject* get_code(Function* f, void*) {
    if (!f->code && !(f->code = make_code(f))) return nullptr;
    return Py_NewRef(f->code);
}

#define ZARNU_FIELD(attr, field, check, none_clears, message)                                              \
    {attr, (getter)get_field<&Function::field>, (setter)set_field<&Function::field, check, none_clears>, nullptr, \
     const_cast<char*>(message)}

PyGetSetDef function_getset[] = {
    ZARNU_FIELD("__name__", name, is_str, false, "__name__ must be set to a string object"),
    ZARNU_FIELD("__qualname__", qualname, is_str, false, "__qualname__ must be set to a string object"),
    ZARNU_FIELD("__defaults__", defaults, is_tuple, true, "__defaults__ must be set to a tuple object"),
    ZARNU_FIELD("__kwdefaults__", kwdefaults, is_dict, true, "__kwdefaults__ must be set to a dict object"),
    {"__annotations__", (getter)get_annotations,
     (setter)set_field<&Function::annotations, is_dict, true>, nullptr,
     const_cast<char*>("__annotations__ must be set to a dict object")},
    ZARNU_FIELD("__type_params__", type_params, is_tuple, false, "__type_params__ must be set to a tuple"),
    {"__closure__", (getter)get_closure, nullptr, nullptr, nullptr},
    {"__builtins__", (getter)get_builtins, nullptr, nullptr, nullptr},
    {"__code__", (getter)get_code, nullptr, nullptr, nullptr},
    {"__dict__", PyObject_GenericGetDict, PyObject_GenericSetDict, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

#undef ZARNU_FIELD

PyMemberDef function_members[] = {
    {"__doc__", T_OBJECT, offsetof(Function, doc), 0, nullptr},
    {"__module__", T_OBJECT, offsetof(Function, module), 0, nullptr},
    {"__globals__", T_OBJECT, offsetof(Function, globals), Py_READONLY, nullptr},
    {"__vectorcalloffset__", Py_T_PYSSIZET, offsetof(Function, vectorcall), Py_READONLY, nullptr},
    {"__weaklistoffset__", Py_T_PYSSIZET, offsetof(Function, weakreflist), Py_READONLY, nullptr},
    {"__dictoffset__", Py_T_PYSSIZET, offsetof(Function, dict), Py_READONLY, nullptr},
    {nullptr, 0, 0, 0, nullptr},
};

// Pickled by reference, like a Python function: the qualified name inside `__module__`.
PyObject* function_reduce(Function* f, PyObject*) { return Py_NewRef(f->qualname); }

PyMethodDef function_methods[] = {
    {"__reduce__", (PyCFunction)function_reduce, METH_NOARGS, nullptr},
    {nullptr, nullptr, 0, nullptr},
};

PyObject* function_descr_get(PyObject* self, PyObject* obj, PyObject*) {
    if (obj == nullptr || obj == Py_None) return Py_NewRef(self);
    return PyMethod_New(self, obj);
}

PyObject* function_repr(Function* f) { return PyUnicode_FromFormat("<function %U at %p>", f->qualname, f); }

int function_traverse(Function* f, visitproc visit, void* arg) {
    Py_VISIT(f->varnames);
    Py_VISIT(f->name);
    Py_VISIT(f->qualname);
    Py_VISIT(f->module);
    Py_VISIT(f->doc);
    Py_VISIT(f->defaults);
    Py_VISIT(f->kwdefaults);
    Py_VISIT(f->annotations);
    Py_VISIT(f->type_params);
    Py_VISIT(f->globals);
    Py_VISIT(f->owner);
    Py_VISIT(f->code);
    Py_VISIT(f->dict);
    return 0;
}

int function_clear(Function* f) {
    Py_CLEAR(f->varnames);
    Py_CLEAR(f->name);
    Py_CLEAR(f->qualname);
    Py_CLEAR(f->module);
    Py_CLEAR(f->doc);
    Py_CLEAR(f->defaults);
    Py_CLEAR(f->kwdefaults);
    Py_CLEAR(f->annotations);
    Py_CLEAR(f->type_params);
    Py_CLEAR(f->globals);
    Py_CLEAR(f->owner);
    Py_CLEAR(f->code);
    Py_CLEAR(f->dict);
    return 0;
}

void function_dealloc(Function* f) {
    PyObject_GC_UnTrack(f);
    if (f->weakreflist) PyObject_ClearWeakRefs(reinterpret_cast<PyObject*>(f));
    function_clear(f);
    PyObject_GC_Del(f);
}

}  // namespace

PyTypeObject FunctionType = {
    .ob_base = PyVarObject_HEAD_INIT(nullptr, 0)
    .tp_name = "zarnu.function",
    .tp_basicsize = sizeof(Function),
    .tp_dealloc = (destructor)function_dealloc,
    .tp_vectorcall_offset = offsetof(Function, vectorcall),
    .tp_repr = (reprfunc)function_repr,
    .tp_call = PyVectorcall_Call,
    .tp_getattro = PyObject_GenericGetAttr,
    .tp_setattro = PyObject_GenericSetAttr,
    .tp_flags = Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC | Py_TPFLAGS_HAVE_VECTORCALL |
                Py_TPFLAGS_METHOD_DESCRIPTOR,
    .tp_doc = "A compiled function that binds, introspects and reports argument errors as a Python function does.",
    .tp_traverse = (traverseproc)function_traverse,
    .tp_clear = (inquiry)function_clear,
    .tp_weaklistoffset = offsetof(Function, weakreflist),
    .tp_methods = function_methods,
    .tp_members = function_members,
    .tp_getset = function_getset,
    .tp_descr_get = function_descr_get,
    .tp_dictoffset = offsetof(Function, dict),
};

int function_type_ready() { return PyType_Ready(&FunctionType); }

Ref function_new(const FunctionDef& def, PyObject* qualname, PyObject* module_name, PyObject* globals,
                 PyObject* defaults, PyObject* annotations, const void* data) {
    if (def.nparams > kMaxParams) {
        PyErr_SetString(PyExc_SystemError, "too many parameters for a compiled function");
        return {};
    }
    Ref varnames = Ref::steal(PyTuple_New(def.nparams));
    if (!varnames) return {};
    for (Py_ssize_t i = 0; i < def.nparams; i++) {
        PyObject* s = PyUnicode_InternFromString(def.params[i]);
        if (!s) return {};
        PyTuple_SET_ITEM(varnames.get(), i, s);
    }
    Ref name = Ref::steal(PyUnicode_InternFromString(def.name));
    Ref doc = def.doc ? Ref::steal(PyUnicode_FromString(def.doc)) : Ref::borrow(Py_None);
    Ref type_params = Ref::steal(PyTuple_New(0));
    if (!name || !doc || !type_params) return {};

    Function* f = PyObject_GC_New(Function, &FunctionType);
    if (!f) return {};
    f->vectorcall = function_vectorcall;
    f->def = &def;
    f->data = data;
    f->varnames = varnames.release();
    f->name = name.release();
    f->qualname = Py_NewRef(qualname);
    f->module = Py_NewRef(module_name);
    f->doc = doc.release();
    f->defaults = (defaults && defaults != Py_None) ? Py_NewRef(defaults) : nullptr;
    f->kwdefaults = nullptr;
    f->annotations = Py_XNewRef(annotations);
    f->type_params = type_params.release();
    f->globals = Py_NewRef(globals);
    f->owner = nullptr;
    f->code = nullptr;
    f->dict = nullptr;
    f->weakreflist = nullptr;
    PyObject_GC_Track(f);
    return Ref::steal(reinterpret_cast<PyObject*>(f));
}

void function_set_owner(PyObject* fn, PyObject* owner) { Py_XSETREF(as_function(fn)->owner, Py_NewRef(owner)); }

}  // namespace zarnu
