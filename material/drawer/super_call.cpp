#include "super_call.hpp"

#include "module_globals.hpp"
#include "operations.hpp"

namespace zarnu {
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

// `self` is no instance of the owner: a class as `self` (super(owner, cls)) is rare enough to go
// the interpreter's own way; anything else is refused with the interpreter's message.
Ref super_call_uncommon(PyObject* owner, PyObject* self, PyObject* name, PyObject* const* args, Py_ssize_t nargs) {
    if (PyType_Check(self) &&
        PyType_IsSubtype(reinterpret_cast<PyTypeObject*>(self), reinterpret_cast<PyTypeObject*>(owner))) {
        Ref sup = call(module_state->builtin_super, owner, self);
        if (!sup) return {};
        Ref bound = getattr(sup.get(), name);
        if (!bound) return {};
        return Ref::steal(PyObject_Vectorcall(bound.get(), args + 1, nargs - 1, nullptr));
    }
    bool is_type = PyType_Check(self);
    PyErr_Format(PyExc_TypeError, "super(type, obj): obj (%s %.200s) is not an instance or subtype of type (%.200s).",
                 is_type ? "type" : "instance of",
                 is_type ? reinterpret_cast<PyTypeObject*>(self)->tp_name : Py_TYPE(self)->tp_name,
                 reinterpret_cast<PyTypeObject*>(owner)->tp_name);
    return {};
}

// Looks the attribute up and, when the type can be watched, keeps it for the type and owner.
Ref lookup_and_remember(SuperCache& c, PyTypeObject* start, PyObject* owner, PyObject* name) {
    Ref attr = super_lookup(owner, start, name);
    if (attr && watch_type(reinterpret_cast<PyObject*>(start))) {
        Py_XSETREF(c.type, Py_NewRef(reinterpret_cast<PyObject*>(start)));
        Py_XSETREF(c.owner, Py_NewRef(owner));
        Py_XSETREF(c.attr, Py_NewRef(attr.get()));
        c.type_epoch = module_state->type_epoch;
    }
    return attr;
}

// Calls the unbound attribute for `self`, binding it as the attribute lookup on `super` would.
Ref call_for(PyObject* attr, PyObject* self, PyTypeObject* start, PyObject* const* args, Py_ssize_t nargs) {
    PyTypeObject* at = Py_TYPE(attr);
    if (PyType_HasFeature(at, Py_TPFLAGS_METHOD_DESCRIPTOR))
        return Ref::steal(PyObject_Vectorcall(attr, args, nargs, nullptr));
    if (!at->tp_descr_get) return Ref::steal(PyObject_Vectorcall(attr, args + 1, nargs - 1, nullptr));
    Ref bound = Ref::steal(at->tp_descr_get(attr, self, reinterpret_cast<PyObject*>(start)));
    if (!bound) return {};
    return Ref::steal(PyObject_Vectorcall(bound.get(), args + 1, nargs - 1, nullptr));
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
    if (c.attr && c.type == reinterpret_cast<PyObject*>(start) && c.owner == owner && c.type_epoch == module_state->type_epoch) {
        Ref attr = Ref::borrow(c.attr);  // held: the call may refill the entry
        return call_for(attr.get(), self, start, args, nargs);
    }
    if (!PyType_IsSubtype(start, reinterpret_cast<PyTypeObject*>(owner)))
        return super_call_uncommon(owner, self, name, args, nargs);
    Ref attr = lookup_and_remember(c, start, owner, name);
    return attr ? call_for(attr.get(), self, start, args, nargs) : Ref();
}

}  // namespace zarnu
