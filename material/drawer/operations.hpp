// Python operations as the interpreter performs them, for the methods' statements: calls and
// attribute reads through ordinary lookup, truth, `==` and `isinstance`.
#pragma once

#include "state.hpp"

namespace zarnu {

// `obj.name(*args)`, looked up as Python would look it up.
template <class... A>
inline Ref call_method(PyObject* obj, PyObject* name, A... args) {
    PyObject* a[] = {nullptr, obj, args...};
    return Ref::steal(PyObject_VectorcallMethod(name, a + 1, (1 + sizeof...(A)) | PY_VECTORCALL_ARGUMENTS_OFFSET,
                                                nullptr));
}

// `fn(*args)`.
template <class... A>
inline Ref call(PyObject* fn, A... args) {
    PyObject* a[] = {nullptr, args...};
    return Ref::steal(PyObject_Vectorcall(fn, a + 1, sizeof...(A) | PY_VECTORCALL_ARGUMENTS_OFFSET, nullptr));
}

inline Ref getattr(PyObject* obj, PyObject* name) { return Ref::steal(PyObject_GetAttr(obj, name)); }

// `bool(obj)`: 1, 0, or -1 with an exception set.
inline int truth(PyObject* obj) { return PyObject_IsTrue(obj); }

// `a == b` tested for truth, as `if a == b:` does: 1, 0 or -1. When both operands are of one type
// whose comparison is int's or object's own (the binding's enum members and widgets), that
// comparison is called directly: with a single type there is no reflected operand to try first,
// neither runs Python code, and their answer (True, False, or object's NotImplemented for two
// distinct objects, on which `==` falls back to identity: False) is what `==` would give.
inline int equals(PyObject* a, PyObject* b) {
    PyTypeObject* t = Py_TYPE(a);
    if (t == Py_TYPE(b) && (t->tp_richcompare == PyLong_Type.tp_richcompare ||
                            t->tp_richcompare == PyBaseObject_Type.tp_richcompare)) {
        // Small ints compare by value, which is what int's comparison itself does first.
        // Unstable API: reads a small int in place, without PyLong_AsLong's overflow check.
        if (t->tp_richcompare == PyLong_Type.tp_richcompare && PyUnstable_Long_IsCompact(reinterpret_cast<PyLongObject*>(a)) &&
            PyUnstable_Long_IsCompact(reinterpret_cast<PyLongObject*>(b)))
            return PyUnstable_Long_CompactValue(reinterpret_cast<PyLongObject*>(a)) ==
                   PyUnstable_Long_CompactValue(reinterpret_cast<PyLongObject*>(b));
        PyObject* r = t->tp_richcompare(a, b, Py_EQ);
        int eq = r == Py_True;
        Py_DECREF(r);
        return eq;
    }
    Ref r = Ref::steal(PyObject_RichCompare(a, b, Py_EQ));
    return r ? PyObject_IsTrue(r.get()) : -1;
}

// `isinstance(obj, cls)`. When the metaclass of `cls` inherits `type.__instancecheck__`, the
// check that method would run is made directly (the same steps, `__class__` included), without
// looking the hook up and calling it.
int is_instance(PyObject* obj, PyObject* cls);

}  // namespace zarnu
