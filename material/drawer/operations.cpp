#include "operations.hpp"

namespace zarnu {
namespace {

// Whether `_PyType_Lookup(type, name)` gives `expected`, remembered (in the state) for the last
// type asked while its version tag stands: any change of the type or of a base leaves it with a
// new tag (tags are never given twice), and a type without one is not remembered.

bool lookup_is(PyTypeObject* type, PyObject* name, PyObject* expected, LookupMemo& m) {
    if (m.tag && m.type == type && m.tag == type->tp_version_tag) return m.same;
    // Private API: the public lookups bind what they find; this one is a method-cache hit.
    bool same = _PyType_Lookup(type, name) == expected;
    m = {type, type->tp_version_tag, same};
    return same;
}

// An attribute that `type` defines itself, as `_PyType_Lookup` finds it there, taken into `slot`
// on first use; null when absent (and asked again next time).
PyObject* own_attribute(PyObject*& slot, PyTypeObject* type, PyObject* name) {
    if (slot) return slot;
    Ref dict = Ref::steal(PyType_GetDict(type));
    if (!dict || PyDict_GetItemRef(dict.get(), name, &slot) < 0) PyErr_Clear();
    return slot;
}

}  // namespace

int is_instance(PyObject* obj, PyObject* cls) {
    if (Py_IS_TYPE(obj, reinterpret_cast<PyTypeObject*>(cls))) return 1;
    if (!PyType_Check(cls) || PyType_CheckExact(cls)) return PyObject_IsInstance(obj, cls);
    ModuleState* s = module_state;
    PyObject* type_instancecheck = own_attribute(s->type_instancecheck, &PyType_Type, N.__instancecheck__);
    if (!type_instancecheck || !lookup_is(Py_TYPE(cls), N.__instancecheck__, type_instancecheck, s->meta_memo))
        return PyObject_IsInstance(obj, cls);
    PyTypeObject* type = reinterpret_cast<PyTypeObject*>(cls);
    if (PyObject_TypeCheck(obj, type)) return 1;
    // With generic attribute lookup and `object`'s own `__class__` (a data descriptor), the
    // lookup below can only give `type(obj)`.
    PyObject* object_class = own_attribute(s->object_class, &PyBaseObject_Type, N.__class__);
    if (Py_TYPE(obj)->tp_getattro == PyObject_GenericGetAttr && object_class &&
        lookup_is(Py_TYPE(obj), N.__class__, object_class, s->class_memo))
        return 0;
    PyObject* icls = nullptr;
    if (PyObject_GetOptionalAttr(obj, N.__class__, &icls) < 0) return -1;
    Ref holder = Ref::steal(icls);
    if (!icls || icls == reinterpret_cast<PyObject*>(Py_TYPE(obj)) || !PyType_Check(icls)) return 0;
    return PyType_IsSubtype(reinterpret_cast<PyTypeObject*>(icls), type);
}

}  // namespace zarnu
