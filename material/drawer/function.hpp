// A small compiled function type that behaves like a Python function towards its callers:
// it binds as a method, carries the usual dunder attributes (including a real `__code__`, so
// that introspection and signal bindings can read its shape), binds arguments with the
// interpreter's own error messages, and is called through vectorcall.
#pragma once

#include "ref.hpp"

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

struct Function {
    PyObject_HEAD
    vectorcallfunc vectorcall;
    const FunctionDef* def;
    const void* data;      // per-function datum for implementations shared by several functions
    PyObject* varnames;    // tuple of the parameter names (interned)
    PyObject* name;
    PyObject* qualname;
    PyObject* module;
    PyObject* doc;
    PyObject* defaults;
    PyObject* kwdefaults;
    PyObject* annotations;
    PyObject* type_params;
    PyObject* globals;
    PyObject* owner;       // the class that zero-argument super() refers to, once the class exists
    PyObject* code;        // created on first access
    PyObject* dict;
    PyObject* weakreflist;
};

extern PyTypeObject FunctionType;

int function_type_ready();

// Creates a function. `defaults` and `annotations` may be null.
Ref function_new(const FunctionDef& def, PyObject* qualname, PyObject* module_name,
                 PyObject* globals, PyObject* defaults, PyObject* annotations,
                 const void* data = nullptr);

inline Function* as_function(PyObject* op) { return reinterpret_cast<Function*>(op); }

void function_set_owner(PyObject* fn, PyObject* owner);

}  // namespace zarnu
