// The constructor: base initialisation, naming, theme, props through their setters, size
// limits, drag flag, then the widget tree.
#include "methods.hpp"
#include "props.hpp"

namespace zarnu::drawer {
namespace {

PyObject* drawer_init(Function* fn, PyObject* const* p) {
    PyObject* self = p[0];
    PyObject* super_args[] = {self, p[slot_of(0)]};  // the Qt parent
    if (!super_call(fn, N.__init__, module_state->init_super, super_args, std::size(super_args))) return nullptr;
    if (!call_method(self, N.setObjectName, C.PyDrawer)) return nullptr;

    Ref useTheme = global(Global::useTheme);
    Ref theme = useTheme ? call(useTheme.get()) : Ref();
    if (!theme || PyObject_SetAttr(self, N.theme, theme.get()) < 0) return nullptr;
    Ref refs = Ref::steal(PyList_New(0));
    if (!refs || PyObject_SetAttr(self, N._widget_references, refs.get()) < 0) return nullptr;

    // The props through their setters, in table order, then the size limits.
    for (std::size_t i = 0; i < std::size(params); i++) {
        const Param& param = params[i];
        if (!param.prop || param.stored == Stored::Never) continue;
        Ref value = Ref::borrow(p[slot_of(i)]);
        if (param.stored == Stored::NewDictWhenFalse) {
            int t = truth(value.get());
            if (t < 0) return nullptr;
            if (!t && !(value = Ref::steal(PyDict_New()))) return nullptr;
        }
        if (!call_method(self, setter_name(i), value.get())) return nullptr;
    }
    for (std::size_t i = 0; i < std::size(params); i++)
        if (params[i].limit && PyObject_SetAttr(self, N.*params[i].limit, p[slot_of(i)]) < 0) return nullptr;
    if (PyObject_SetAttr(self, N._user_dragging, Py_False) < 0) return nullptr;

    if (!call_method(self, N._init_ui)) return nullptr;
    Py_RETURN_NONE;
}

}  // namespace

const FunctionDef init_def = {"__init__", init_param_names.data(), std::size(init_param_names), true, true,
                               drawer_init, nullptr};

void raise_value_error(const char* message) {
    Ref text = Ref::steal(PyUnicode_FromString(message));
    Ref exc = text ? call(module_state->builtin_ValueError, text.get()) : Ref();
    if (exc) PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(exc.get())), exc.get());
}

}  // namespace zarnu::drawer
