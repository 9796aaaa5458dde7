// A small compiled function type that behaves like a Python function towards its callers:
// it binds as a method, carries the usual dunder attributes (including a real `__code__`, so
// that introspection and signal bindings can read its shape), binds arguments with the
// interpreter's own error messages, and is called through vectorcall. Each call of its body
// passes the interpreter's recursion guard, is reported to monitoring tools (profilers,
// debuggers) as a call of its code object, and leaves a traceback entry when it fails.
#pragma once

#include "ref.hpp"

#include <cstdint>

namespace zarnu {

struct Function;

// Receives one slot per named parameter, `self` first, every slot filled (defaults applied).
// Surplus positional arguments and unknown keywords are accepted only when the signature has
// `*args` / `**kwargs`; they are checked but not materialised, since no caller reads them.
using FunctionImpl = PyObject* (*)(Function* fn, PyObject* const* params);

struct FunctionDef {
    const char* name;
    const char* const* params;  // named parameters, `self` first
    Py_ssize_t nparams;
    bool varargs;
    bool varkw;
    FunctionImpl impl;
    const char* doc;  // nullptr: no documentation string
};

// The events a call of a compiled function reports to monitoring tools, in this order.
inline constexpr int kMonitoredEvents = 4;

// The struct begins with the fields of the interpreter's own function object, in the same
// order and holding the objects that the attributes return, because bindings built against
// the full C API read a slot's `__func__` straight out of that layout.
struct Function {
    PyObject_HEAD
    PyObject* globals;
    PyObject* builtins;
    PyObject* name;
    PyObject* qualname;
    PyObject* code;         // made with the function, never replaced
    PyObject* defaults;     // null or a tuple
    PyObject* kwdefaults;   // null or a dict
    PyObject* closure;      // always null
    PyObject* doc;
    PyObject* dict;
    PyObject* weakreflist;
    PyObject* module;
    PyObject* annotations;  // null or a dict
    PyObject* type_params;  // a tuple
    vectorcallfunc vectorcall;
    std::uint32_t version;  // always 0: nothing may specialise on this function
    // Ours from here on.
    const FunctionDef* def;
    const void* data;      // per-function datum for implementations shared by several functions
    PyObject* varnames;    // tuple of the parameter names (interned)
    PyObject* owner;       // the class that zero-argument super() refers to, once the class exists
    std::uint64_t monitoring_version;
    PyMonitoringState monitoring[kMonitoredEvents];
};

// Makes the function type, a heap type of `module` (kept in the module's state).
PyObject* function_type_new(PyObject* module);

// Creates a function, of the type in the module's state. `defaults` and `annotations` may be null.
Ref function_new(const FunctionDef& def, PyObject* qualname, PyObject* module_name,
                 PyObject* globals, PyObject* defaults, PyObject* annotations,
                 const void* data = nullptr);

inline Function* as_function(PyObject* op) { return reinterpret_cast<Function*>(op); }

void function_set_owner(PyObject* fn, PyObject* owner);

// Adds a traceback entry for `code` (run in `globals`) to the exception being raised, as the
// interpreter does for each frame an exception passes through.
void add_traceback(PyObject* code, PyObject* globals);

}  // namespace zarnu
