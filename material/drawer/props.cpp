#include "props.hpp"

#include "runtime.hpp"

#include <cstring>

namespace zarnu::drawer {
namespace {

constexpr const char* setter_params[] = {"self", "value"};
constexpr const char* getter_params[] = {"self"};

PyObject* attr_of(Function* fn) { return prop_attrs[static_cast<const Prop*>(fn->data) - props]; }

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

}  // namespace

#define ZARNU_PROP(n, doc, validated, valid, nforms, ...)                                                    \
    Prop {                                                                                                   \
        #n, doc, validated, valid, {__VA_ARGS__}, nforms,                                                    \
            FunctionDef{"_set_" #n, setter_params, 2, false, false, set_prop, doc},                          \
            FunctionDef{"_get_" #n, getter_params, 1, false, false, get_prop, "Get the " #n " value."}       \
    }
#define ASSIGN(n) "Assign value to " #n "."
#define CUSTOM(n) "Assign value to " #n " (custom feature)."

using F = Form;
using V = Valid;

Prop props[21] = {
    ZARNU_PROP(title, CUSTOM(title), true, V::Nothing, 3, F::State, F::Str, F::Callable),
    ZARNU_PROP(anchor, ASSIGN(anchor), true, V::Anchor, 2, F::State, F::Str),
    ZARNU_PROP(anchorEl, CUSTOM(anchorEl), true, V::Nothing, 3, F::State, F::QWidget, F::None),
    ZARNU_PROP(children, "Assign value to children and store widget references.", false, V::Nothing, 0),
    ZARNU_PROP(classes, ASSIGN(classes), true, V::Nothing, 3, F::State, F::Dict, F::None),
    ZARNU_PROP(elevation, ASSIGN(elevation), true, V::Nothing, 2, F::State, F::Int),
    ZARNU_PROP(hideBackdrop, ASSIGN(hideBackdrop), true, V::Nothing, 2, F::State, F::Bool),
    ZARNU_PROP(ModalProps, ASSIGN(ModalProps), true, V::Nothing, 3, F::State, F::Dict, F::None),
    ZARNU_PROP(onClose, ASSIGN(onClose), true, V::Nothing, 3, F::State, F::Callable, F::None),
    ZARNU_PROP(open, ASSIGN(open), true, V::Nothing, 2, F::State, F::Bool),
    ZARNU_PROP(PaperProps, ASSIGN(PaperProps), true, V::Nothing, 3, F::State, F::Dict, F::None),
    ZARNU_PROP(SlideProps, ASSIGN(SlideProps), true, V::Nothing, 3, F::State, F::Dict, F::None),
    ZARNU_PROP(slotProps, ASSIGN(slotProps), true, V::Nothing, 3, F::State, F::Dict, F::None),
    ZARNU_PROP(slots, ASSIGN(slots), true, V::Nothing, 3, F::State, F::Dict, F::None),
    ZARNU_PROP(sx, ASSIGN(sx), true, V::Nothing, 5, F::State, F::Dict, F::Callable, F::Str, F::None),
    ZARNU_PROP(transitionDuration, ASSIGN(transitionDuration), true, V::Nothing, 4, F::State, F::Int, F::Dict,
               F::None),
    ZARNU_PROP(variant, ASSIGN(variant), true, V::Variant, 3, F::State, F::Str, F::None),
    ZARNU_PROP(minWidth, CUSTOM(minWidth), true, V::Nothing, 3, F::State, F::Int, F::None),
    ZARNU_PROP(maxWidth, CUSTOM(maxWidth), true, V::Nothing, 3, F::State, F::Int, F::None),
    ZARNU_PROP(minHeight, CUSTOM(minHeight), true, V::Nothing, 3, F::State, F::Int, F::None),
    ZARNU_PROP(maxHeight, CUSTOM(maxHeight), true, V::Nothing, 3, F::State, F::Int, F::None),
};

#undef ZARNU_PROP
#undef ASSIGN
#undef CUSTOM

PyObject* prop_attrs[21];

int props_init() {
    if (prop_attrs[0]) return 0;
    for (int i = 0; i < 21; i++) {
        Ref attr = Ref::steal(PyUnicode_FromFormat("_%s", props[i].name));
        if (!attr) return -1;
        prop_attrs[i] = attr.release();
        PyUnicode_InternInPlace(&prop_attrs[i]);
    }
    return 0;
}

int prop_index(const char* name) {
    for (int i = 0; i < 21; i++)
        if (std::strcmp(props[i].name, name) == 0) return i;
    return -1;
}

}  // namespace zarnu::drawer
