#include "props.hpp"

#include <string>

namespace zarnu::drawer {
namespace {

constexpr const char* setter_params[] = {"self", "value"};
constexpr const char* getter_params[] = {"self"};

// The texts the definitions point into, kept for the life of the process.
struct AccessorTexts {
    std::string setter_name, getter_name, setter_doc, getter_doc;
};
AccessorTexts texts[std::size(params)];
Accessors accessors[std::size(params)];
PyObject* prop_attrs[std::size(params)];    // interned `_<prop>`
PyObject* setter_names[std::size(params)];  // interned `_set_<prop>`

// The datum of an accessor is the slot of its attribute name.
PyObject* attr_of(Function* fn) { return *static_cast<PyObject* const*>(fn->data); }

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

int props_init() {
    static bool ready = false;
    if (ready) return 0;
    for (std::size_t i = 0; i < std::size(params); i++) {
        const Param& p = params[i];
        if (!p.prop) continue;
        AccessorTexts& t = texts[i];
        t = {std::string("_set_") + p.name, std::string("_get_") + p.name, setter_doc(p),
             std::string("Get the ") + p.name + " value."};
        accessors[i] = {
            {t.setter_name.c_str(), setter_params, std::size(setter_params), false, false, set_prop, t.setter_doc.c_str()},
            {t.getter_name.c_str(), getter_params, std::size(getter_params), false, false, get_prop, t.getter_doc.c_str()},
        };
        std::string attr = std::string("_") + p.name;
        if (!prop_attrs[i] && !(prop_attrs[i] = PyUnicode_InternFromString(attr.c_str()))) return -1;
        if (!setter_names[i] && !(setter_names[i] = PyUnicode_InternFromString(t.setter_name.c_str()))) return -1;
    }
    ready = true;
    return 0;
}

const Accessors& accessors_of(std::size_t i) { return accessors[i]; }

const void* accessor_datum(std::size_t i) { return &prop_attrs[i]; }

PyObject* setter_name(std::size_t i) { return setter_names[i]; }

}  // namespace zarnu::drawer
