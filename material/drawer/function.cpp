#include "function.hpp"

#include <frameobject.h>
#include <structmember.h>

#include <string>

#include "state.hpp"

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

// ---- running the body ----

// The events reported for each call, as PyMonitoring_EnterScope fills `Function::monitoring`.
enum { kStart, kReturn, kRaise, kUnwind };
constexpr std::uint8_t monitored_events[kMonitoredEvents] = {
    PY_MONITORING_EVENT_PY_START, PY_MONITORING_EVENT_PY_RETURN, PY_MONITORING_EVENT_RAISE,
    PY_MONITORING_EVENT_PY_UNWIND};

// sys.setprofile and sys.settrace are monitoring tools 6 and 7. They hand their callbacks the
// interpreter's current frame, which is the caller's while a compiled body runs, so an event
// of ours would reach them as a second call of the caller: they are left out.
constexpr std::uint8_t legacy_tools = (1 << 6) | (1 << 7);

// Nesting of compiled bodies on this thread, held to the interpreter's recursion limit as the
// frames of Python functions are (the interpreter's own guard, which is also passed, counts C
// levels against a fixed limit of its own). Initial-exec: four bytes of the static TLS block,
// read with one instruction instead of a call per entry.
__attribute__((tls_model("initial-exec"))) thread_local int depth = 0;

// The events of a call while some tool is active; `impl`'s result, or null with the exception.
PyObject* run_monitored(Function* f, PyObject* const* params) {
    PyMonitoringState* s = f->monitoring;
    if (PyMonitoring_FirePyStartEvent(&s[kStart], f->code, 0) < 0) {
        add_traceback(f->code, f->globals);
        return nullptr;
    }
    PyObject* result = f->def->impl(f, params);
    if (result) {
        if (PyMonitoring_FirePyReturnEvent(&s[kReturn], f->code, 0, result) < 0) Py_CLEAR(result);
        return result;
    }
    add_traceback(f->code, f->globals);
    // A tool that raises replaces the exception, as it does for a Python function.
    (void)PyMonitoring_FireRaiseEvent(&s[kRaise], f->code, 0);
    (void)PyMonitoring_FirePyUnwindEvent(&s[kUnwind], f->code, 0);
    return nullptr;
}

// Every entry into a body comes through here: the recursion guard, the monitoring scope (no
// tool active costs the scope check and one test), and a traceback entry on failure.
inline PyObject* run(Function* f, PyObject* const* params) {
    if (Py_EnterRecursiveCall("")) return nullptr;
    if (++depth > Py_GetRecursionLimit()) {
        --depth;
        Py_LeaveRecursiveCall();
        PyErr_SetString(PyExc_RecursionError, "maximum recursion depth exceeded");
        return nullptr;
    }
    std::uint64_t seen = f->monitoring_version;
    PyMonitoring_EnterScope(f->monitoring, &f->monitoring_version, monitored_events, kMonitoredEvents);
    PyMonitoringState* s = f->monitoring;
    if (f->monitoring_version != seen)
        for (int i = 0; i < kMonitoredEvents; i++) s[i].active &= ~legacy_tools;
    PyObject* result;
    if (s[kStart].active | s[kReturn].active | s[kRaise].active | s[kUnwind].active) {
        result = run_monitored(f, params);
    } else {
        result = f->def->impl(f, params);
        if (!result) add_traceback(f->code, f->globals);
    }
    PyMonitoring_ExitScope();
    --depth;
    Py_LeaveRecursiveCall();
    return result;
}

// Puts each keyword argument into the slot of its parameter; an unknown keyword is skipped with
// `**kwargs` and refused without. False with the exception set.
bool bind_keywords(Function* f, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames, PyObject** slots) {
    Py_ssize_t nkw = kwnames ? PyTuple_GET_SIZE(kwnames) : 0;
    for (Py_ssize_t k = 0; k < nkw; k++) {
        PyObject* key = PyTuple_GET_ITEM(kwnames, k);
        if (!PyUnicode_Check(key)) {
            PyErr_Format(PyExc_TypeError, "%U() keywords must be strings", f->qualname);
            return false;
        }
        Py_ssize_t j = find_param(f, key);
        if (j == -2) return false;
        if (j < 0) {
            if (f->def->varkw) continue;
            PyErr_Format(PyExc_TypeError, "%U() got an unexpected keyword argument '%S'", f->qualname, key);
            return false;
        }
        if (slots[j]) {
            PyErr_Format(PyExc_TypeError, "%U() got multiple values for argument '%S'", f->qualname, key);
            return false;
        }
        slots[j] = args[nargs + k];
    }
    return true;
}

// Fills the empty slots after the positional ones from `defaults`, which cover the trailing
// parameters. False, with the interpreter's message, when a parameter without one is left empty.
bool apply_defaults(Function* f, PyObject* defaults, Py_ssize_t npos, PyObject** slots) {
    Py_ssize_t nparams = f->def->nparams;
    Py_ssize_t first_default = nparams - (defaults ? PyTuple_GET_SIZE(defaults) : 0);
    bool missing = false;
    for (Py_ssize_t i = npos; i < nparams; i++) {
        if (slots[i]) continue;
        if (i >= first_default)
            slots[i] = PyTuple_GET_ITEM(defaults, i - first_default);
        else
            missing = true;
    }
    if (missing) missing_arguments(f, slots);
    return !missing;
}

// Keywords, defaults, surplus arguments: kept out of line, so that a call passing exactly the
// positional parameters does not set up this frame.
[[gnu::noinline]] PyObject* bind_and_call(Function* f, PyObject* const* args, Py_ssize_t nargs, PyObject* kwnames) {
    const FunctionDef* def = f->def;
    PyObject* slots[kMaxParams] = {};
    Py_ssize_t npos = nargs < def->nparams ? nargs : def->nparams;
    for (Py_ssize_t i = 0; i < npos; i++) slots[i] = args[i];
    if (!bind_keywords(f, args, nargs, kwnames, slots)) return nullptr;
    if (nargs > def->nparams && !def->varargs) {
        too_many_positional(f, nargs);
        return nullptr;
    }
    // Held while the call runs, since `__defaults__` may be replaced meanwhile.
    Ref defaults = Ref::borrow(f->defaults);
    if (!apply_defaults(f, defaults.get(), npos, slots)) return nullptr;
    return run(f, slots);
}

PyObject* function_vectorcall(PyObject* callable, PyObject* const* args, size_t nargsf, PyObject* kwnames) {
    Function* f = as_function(callable);
    Py_ssize_t nargs = PyVectorcall_NARGS(nargsf);
    if (!kwnames && nargs == f->def->nparams) return run(f, args);
    return bind_and_call(f, args, nargs, kwnames);
}

// ---- the Python-visible attributes ----

// An attribute held in a field of the function: the setter accepts what `Check` accepts, and
// with `NoneClears` also None (or deletion), which empties the field; the getter gives None for
// an empty field. The message for a refused value travels in the getset closure. These are
// the rules of a Python function's attributes of the same names.
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

// The code object describes the signature; the body it would run is not the function's.
int set_code(Function* f, PyObject*, void*) {
    PyErr_Format(PyExc_TypeError,
                 "%U.__code__ cannot be replaced: the function is compiled, its code object only "
                 "describes its signature",
                 f->qualname);
    return -1;
}

// Tools recognise functions by `isinstance(obj, types.FunctionType)` (inspect.isfunction,
// help(), inspect.getsource); this type has a function's layout and attributes, so it answers
// as one. `type(f)` still names the real type.
PyObject* get_class(Function*, void*) { return Py_NewRef(reinterpret_cast<PyObject*>(&PyFunction_Type)); }

int set_class(Function*, PyObject*, void*) {
    PyErr_SetString(PyExc_TypeError, "__class__ assignment only supported for mutable types or ModuleType subclasses");
    return -1;
}

// A real code object with this function's parameters, so that tools (and signal bindings)
// that read `__code__` see the true shape; its file is the module's. The body it holds is
// never run by us, and refuses to run if a copy of the function is made from it.
PyObject* make_code(const FunctionDef* def, PyObject* qualname, PyObject* filename) {
    std::string src = "def ";
    src += def->name;
    src += "(";
    for (Py_ssize_t i = 0; i < def->nparams; i++) {
        if (i) src += ", ";
        src += def->params[i];
    }
    if (def->varargs) src += def->nparams ? ", *args" : "*args";
    if (def->varkw) src += (def->nparams || def->varargs) ? ", **kwargs" : "**kwargs";
    src += "): raise TypeError('the body of a compiled function cannot run from its code object')\n";

    Ref module_code = Ref::steal(Py_CompileStringObject(src.c_str(), filename, Py_file_input, nullptr, -1));
    if (!module_code) return nullptr;
    Ref consts = Ref::steal(PyObject_GetAttrString(module_code.get(), "co_consts"));
    if (!consts) return nullptr;
    for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(consts.get()); i++) {
        PyObject* c = PyTuple_GET_ITEM(consts.get(), i);
        if (!PyCode_Check(c)) continue;
        Ref replace = Ref::steal(PyObject_GetAttrString(c, "replace"));
        Ref kwargs = Ref::steal(Py_BuildValue("{s:O}", "co_qualname", qualname));
        Ref empty = Ref::steal(PyTuple_New(0));
        if (!replace || !kwargs || !empty) return nullptr;
        return PyObject_Call(replace.get(), empty.get(), kwargs.get());
    }
    PyErr_SetString(PyExc_SystemError, "no code object compiled");
    return nullptr;
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
    {"__code__", (getter)get_field<&Function::code>, (setter)set_code, nullptr, nullptr},
    {"__dict__", PyObject_GenericGetDict, PyObject_GenericSetDict, nullptr, nullptr},
    {"__class__", (getter)get_class, (setter)set_class, nullptr, nullptr},
    {nullptr, nullptr, nullptr, nullptr, nullptr},
};

#undef ZARNU_FIELD

PyMemberDef function_members[] = {
    {"__doc__", T_OBJECT, offsetof(Function, doc), 0, nullptr},
    {"__module__", T_OBJECT, offsetof(Function, module), 0, nullptr},
    {"__globals__", T_OBJECT, offsetof(Function, globals), Py_READONLY, nullptr},
    {"__builtins__", T_OBJECT, offsetof(Function, builtins), Py_READONLY, nullptr},
    {"__closure__", T_OBJECT, offsetof(Function, closure), Py_READONLY, nullptr},
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

#define ZARNU_OBJECT_FIELDS(X)                                                                          \
    X(globals) X(builtins) X(name) X(qualname) X(code) X(defaults) X(kwdefaults) X(closure) X(doc) X(dict) \
    X(module) X(annotations) X(type_params) X(varnames) X(owner)

// A heap type: each function holds its type, and visits it.
int function_traverse(Function* f, visitproc visit, void* arg) {
    Py_VISIT(Py_TYPE(f));
#define ZARNU_VISIT(field) Py_VISIT(f->field);
    ZARNU_OBJECT_FIELDS(ZARNU_VISIT)
#undef ZARNU_VISIT
    return 0;
}

int function_clear(Function* f) {
    // The code object and the names stay: what reads them (error messages, events, traceback
    // entries) may still run while a reference cycle through this function is broken.
#define ZARNU_CLEAR(field) Py_CLEAR(f->field);
    ZARNU_CLEAR(globals) ZARNU_CLEAR(builtins) ZARNU_CLEAR(defaults) ZARNU_CLEAR(kwdefaults)
    ZARNU_CLEAR(closure) ZARNU_CLEAR(doc) ZARNU_CLEAR(dict) ZARNU_CLEAR(module) ZARNU_CLEAR(annotations)
    ZARNU_CLEAR(type_params) ZARNU_CLEAR(owner)
    return 0;
}

void function_dealloc(Function* f) {
    PyTypeObject* type = Py_TYPE(f);
    PyObject_GC_UnTrack(f);
    if (f->weakreflist) PyObject_ClearWeakRefs(reinterpret_cast<PyObject*>(f));
    ZARNU_OBJECT_FIELDS(ZARNU_CLEAR)
#undef ZARNU_CLEAR
    PyObject_GC_Del(f);
    Py_DECREF(type);  // last: the type may take the module, and the state, with it
}

#undef ZARNU_OBJECT_FIELDS

// The layout that bindings read.
#define ZARNU_SAME_OFFSET(ours, theirs) \
    static_assert(offsetof(Function, ours) == offsetof(PyFunctionObject, theirs), #ours " out of place");
ZARNU_SAME_OFFSET(globals, func_globals)
ZARNU_SAME_OFFSET(builtins, func_builtins)
ZARNU_SAME_OFFSET(name, func_name)
ZARNU_SAME_OFFSET(qualname, func_qualname)
ZARNU_SAME_OFFSET(code, func_code)
ZARNU_SAME_OFFSET(defaults, func_defaults)
ZARNU_SAME_OFFSET(kwdefaults, func_kwdefaults)
ZARNU_SAME_OFFSET(closure, func_closure)
ZARNU_SAME_OFFSET(doc, func_doc)
ZARNU_SAME_OFFSET(dict, func_dict)
ZARNU_SAME_OFFSET(weakreflist, func_weakreflist)
ZARNU_SAME_OFFSET(module, func_module)
ZARNU_SAME_OFFSET(annotations, func_annotations)
ZARNU_SAME_OFFSET(type_params, func_typeparams)
ZARNU_SAME_OFFSET(vectorcall, vectorcall)
ZARNU_SAME_OFFSET(version, func_version)
#undef ZARNU_SAME_OFFSET

}  // namespace

namespace {

PyType_Slot function_slots[] = {
    {Py_tp_dealloc, reinterpret_cast<void*>(function_dealloc)},
    {Py_tp_repr, reinterpret_cast<void*>(function_repr)},
    {Py_tp_call, reinterpret_cast<void*>(PyVectorcall_Call)},
    {Py_tp_getattro, reinterpret_cast<void*>(PyObject_GenericGetAttr)},
    {Py_tp_setattro, reinterpret_cast<void*>(PyObject_GenericSetAttr)},
    {Py_tp_traverse, reinterpret_cast<void*>(function_traverse)},
    {Py_tp_clear, reinterpret_cast<void*>(function_clear)},
    {Py_tp_methods, function_methods},
    {Py_tp_members, function_members},  // with the weak reference, dict and vectorcall offsets
    {Py_tp_getset, function_getset},
    {Py_tp_descr_get, reinterpret_cast<void*>(function_descr_get)},
    {0, nullptr},
};

// A compiled function that binds, introspects and reports argument errors as a Python function
// does. Immutable and not instantiable from Python, as a static type without `tp_new` is. The
// type has no doc string of its own: a heap type keeps it in its dict under `__doc__`, where it
// would hide the functions' own `__doc__` member.
PyType_Spec function_type_def = {
    "zarnu.function",
    sizeof(Function),
    0,
    Py_TPFLAGS_DEFAULT | Py_TPFLAGS_HAVE_GC | Py_TPFLAGS_HAVE_VECTORCALL | Py_TPFLAGS_METHOD_DESCRIPTOR |
        Py_TPFLAGS_IMMUTABLETYPE | Py_TPFLAGS_DISALLOW_INSTANTIATION,
    function_slots,
};

}  // namespace

PyObject* function_type_new(PyObject* module) { return PyType_FromModuleAndSpec(module, &function_type_def, nullptr); }

void add_traceback(PyObject* code, PyObject* globals) {
    if (!globals) return;  // a function emptied by the collector while a cycle is broken
    PyObject* exc = PyErr_GetRaisedException();
    PyFrameObject* frame = PyFrame_New(PyThreadState_Get(), reinterpret_cast<PyCodeObject*>(code), globals, nullptr);
    if (!frame) PyErr_Clear();  // the exception on its way matters more than its traceback entry
    PyErr_SetRaisedException(exc);
    if (!frame) return;
    if (PyTraceBack_Here(frame) < 0) PyErr_Clear();
    Py_DECREF(frame);
}

namespace {

// The interned parameter names, for keyword binding and error messages.
Ref varnames_of(const FunctionDef& def) {
    Ref varnames = Ref::steal(PyTuple_New(def.nparams));
    if (!varnames) return {};
    for (Py_ssize_t i = 0; i < def.nparams; i++) {
        PyObject* s = PyUnicode_InternFromString(def.params[i]);
        if (!s) return {};
        PyTuple_SET_ITEM(varnames.get(), i, s);
    }
    return varnames;
}

// The code object, named after the module's file (for tracebacks and profilers), or after the
// module when it has no file name.
Ref code_of(const FunctionDef& def, PyObject* qualname, PyObject* module_name, PyObject* globals) {
    PyObject* file = nullptr;
    if (PyDict_GetItemStringRef(globals, "__file__", &file) < 0) return {};
    Ref filename = Ref::steal(file);
    if (!filename || !PyUnicode_Check(filename.get())) filename = Ref::borrow(module_name);
    return Ref::steal(make_code(&def, qualname, filename.get()));
}

// The builtins dict a function of `globals` sees, as the interpreter finds it for a new function.
Ref builtins_of(PyObject* globals) {
    PyObject* found = nullptr;
    if (PyDict_GetItemStringRef(globals, "__builtins__", &found) < 0) return {};
    Ref builtins = Ref::steal(found);
    if (builtins && PyModule_Check(builtins.get())) builtins = Ref::borrow(PyModule_GetDict(builtins.get()));
    if (!builtins || !PyDict_Check(builtins.get())) builtins = Ref::borrow(PyEval_GetBuiltins());
    return builtins;
}

}  // namespace

Ref function_new(const FunctionDef& def, PyObject* qualname, PyObject* module_name, PyObject* globals,
                 PyObject* defaults, PyObject* annotations, const void* data) {
    if (def.nparams > kMaxParams) {
        PyErr_SetString(PyExc_SystemError, "too many parameters for a compiled function");
        return {};
    }
    Ref varnames = varnames_of(def);
    Ref code = varnames ? code_of(def, qualname, module_name, globals) : Ref();
    Ref builtins = code ? builtins_of(globals) : Ref();
    if (!builtins) return {};
    Ref name = Ref::steal(PyUnicode_InternFromString(def.name));
    Ref doc = def.doc ? Ref::steal(PyUnicode_FromString(def.doc)) : Ref::borrow(Py_None);
    Ref type_params = Ref::steal(PyTuple_New(0));
    if (!name || !doc || !type_params) return {};

    auto* type = reinterpret_cast<PyTypeObject*>(module_state->function_type);
    if (!type) {
        PyErr_SetString(PyExc_RuntimeError, "the module that makes compiled functions has been cleared");
        return {};
    }
    Function* f = PyObject_GC_New(Function, type);  // holds a reference to its heap type
    if (!f) return {};
    f->globals = Py_NewRef(globals);
    f->builtins = builtins.release();
    f->name = name.release();
    f->qualname = Py_NewRef(qualname);
    f->code = code.release();
    f->defaults = (defaults && defaults != Py_None) ? Py_NewRef(defaults) : nullptr;
    f->kwdefaults = nullptr;
    f->closure = nullptr;
    f->doc = doc.release();
    f->dict = nullptr;
    f->weakreflist = nullptr;
    f->module = Py_NewRef(module_name);
    f->annotations = Py_XNewRef(annotations);
    f->type_params = type_params.release();
    f->vectorcall = function_vectorcall;
    f->version = 0;
    f->def = &def;
    f->data = data;
    f->varnames = varnames.release();
    f->owner = nullptr;
    f->monitoring_version = 0;
    for (PyMonitoringState& s : f->monitoring) s = {};
    PyObject_GC_Track(f);
    return Ref::steal(reinterpret_cast<PyObject*>(f));
}

void function_set_owner(PyObject* fn, PyObject* owner) { Py_XSETREF(as_function(fn)->owner, Py_NewRef(owner)); }

}  // namespace zarnu
