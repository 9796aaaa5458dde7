#include "props.hpp"

#include <string>

namespace zarnu::drawer {
namespace {

constexpr const char* setter_params[] = {"self", "value"};
constexpr const char* getter_params[] = {"self"};

// The definitions, and the texts they point into: plain C++ data spelled from the parameter
// table, the same for any module object, so made once and kept for the life of the process
// (function objects point at them). The objects, the interned names, are the module state's.
struct AccessorTexts {
    std::string setter_name, getter_name, setter_doc, getter_doc;
};
AccessorTexts texts[std::size(params)];
Accessors accessors[std::size(params)];

// The datum of an accessor is its parameter's record; its attribute name, `_<prop>`, is the
// state's entry at that record's index.
PyObject* attr_of(Function* fn) {
    return PyTuple_GET_ITEM(module_state->prop_attrs, static_cast<const Param*>(fn->data) - params);
}

// `self._<prop> = value`
PyObject* set_prop(Function* fn, PyObject* const* a) {
    if (PyObject_SetAttr(a[0], attr_of(fn), a[1]) < 0) return nullptr;
    Py_RETURN_NONE;
}

// The prop's current plain value: a `State` is unwrapped, one level, at the moment of the call.
PyObject* get_prop(Function* fn, PyObject* const* a) {
    PyObject* self = a[0];
    PyObject* attr = attr_of(fn);
    Ref stored = getattr(self, attr);
    if (!stored) return nullptr;
    Ref State = global(Global::State);
    if (!State) return nullptr;
    int is_state = is_instance(stored.get(), State.get());
    if (is_state < 0) return nullptr;
    Ref again = getattr(self, attr);
    if (!again || !is_state) return again.release();
    return PyObject_GetAttr(again.get(), N.value);
}

std::string setter_doc(const Param& p) {
    if (p.setter_doc) return p.setter_doc;
    return std::string("Assign value to ") + p.name + (p.custom ? " (custom feature)." : ".");
}

}  // namespace

int props_init(ModuleState& s) {
    static bool defined = false;
    for (std::size_t i = 0; !defined && i < std::size(params); i++) {
        const Param& p = params[i];
        if (!p.prop) continue;
        AccessorTexts& t = texts[i];
        t = {std::string("_set_") + p.name, std::string("_get_") + p.name, setter_doc(p),
             std::string("Get the ") + p.name + " value."};
        accessors[i] = {
            {t.setter_name.c_str(), setter_params, std::size(setter_params), false, false, set_prop, t.setter_doc.c_str()},
            {t.getter_name.c_str(), getter_params, std::size(getter_params), false, false, get_prop, t.getter_doc.c_str()},
        };
    }
    defined = true;

    constexpr auto n = static_cast<Py_ssize_t>(std::size(params));
    if (!(s.prop_attrs = PyTuple_New(n)) || !(s.setter_names = PyTuple_New(n))) return -1;
    for (Py_ssize_t i = 0; i < n; i++) {
        const Param& p = params[i];
        PyObject* attr = p.prop ? PyUnicode_InternFromString((std::string("_") + p.name).c_str()) : Py_NewRef(Py_None);
        PyObject* setter = p.prop ? PyUnicode_InternFromString(texts[i].setter_name.c_str()) : Py_NewRef(Py_None);
        if (attr) PyTuple_SET_ITEM(s.prop_attrs, i, attr);
        if (setter) PyTuple_SET_ITEM(s.setter_names, i, setter);
        if (!attr || !setter) return -1;
    }
    return 0;
}

const Accessors& accessors_of(std::size_t i) { return accessors[i]; }

const void* accessor_datum(std::size_t i) { return &params[i]; }

PyObject* setter_name(std::size_t i) { return PyTuple_GET_ITEM(module_state->setter_names, i); }

}  // namespace zarnu::drawer
