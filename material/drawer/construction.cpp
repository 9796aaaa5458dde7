// The constructor: base initialisation, naming, theme, props through their setters, size
// limits, drag flag, then the widget tree.
#include "methods.hpp"
#include "props.hpp"

#include <string_view>

namespace zarnu::drawer {
namespace {

constexpr const char* init_params[] = {
    "self",     "parent",     "title",      "anchor",    "anchorEl", "children",           "classes",
    "elevation", "hideBackdrop", "ModalProps", "onClose",  "open",     "PaperProps",         "SlideProps",
    "slotProps", "slots",      "sx",         "transitionDuration", "variant", "minWidth", "maxWidth",
    "minHeight", "maxHeight",
};
static_assert(std::size(init_params) == 23);

// Parameter slot of prop `i` of the table (the props follow `parent` in table order).
constexpr int param_of_prop(int i) { return i + 2; }

SuperCache init_super;
PyObject* setter_names[21];

// The props that the constructor replaces by a new empty dict when they are false.
bool defaults_to_new_dict(const char* prop) {
    for (const char* n : {"ModalProps", "PaperProps", "SlideProps", "slotProps", "slots"})
        if (std::string_view(n) == prop) return true;
    return false;
}

PyObject* drawer_init(Function* fn, PyObject* const* p) {
    PyObject* self = p[0];
    PyObject* super_args[] = {self, p[1]};
    if (!super_call(fn, N.__init__, init_super, super_args, 2)) return nullptr;
    if (!call_method(self, N.setObjectName, C.PyDrawer)) return nullptr;

    Ref useTheme = global(Global::useTheme);
    Ref theme = useTheme ? call(useTheme.get()) : Ref();
    if (!theme || PyObject_SetAttr(self, N.theme, theme.get()) < 0) return nullptr;
    Ref refs = Ref::steal(PyList_New(0));
    if (!refs || PyObject_SetAttr(self, N._widget_references, refs.get()) < 0) return nullptr;

    for (int i = 0; i < 21; i++) {
        const Prop& prop = props[i];
        if (std::string_view(prop.name) == "transitionDuration") continue;  // accepted, never stored
        if (!setter_names[i] && !(setter_names[i] = PyUnicode_InternFromString(prop.setter.name))) return nullptr;
        Ref value = Ref::borrow(p[param_of_prop(i)]);
        if (defaults_to_new_dict(prop.name)) {
            int t = truth(value.get());
            if (t < 0) return nullptr;
            if (!t && !(value = Ref::steal(PyDict_New()))) return nullptr;
        }
        if (!call_method(self, setter_names[i], value.get())) return nullptr;
    }

    PyObject* limits[][2] = {
        {N.drawerMinWidth, p[param_of_prop(prop_index("minWidth"))]},
        {N.drawerMaxWidth, p[param_of_prop(prop_index("maxWidth"))]},
        {N.drawerMinHeight, p[param_of_prop(prop_index("minHeight"))]},
        {N.drawerMaxHeight, p[param_of_prop(prop_index("maxHeight"))]},
    };
    for (auto& [name, value] : limits)
        if (PyObject_SetAttr(self, name, value) < 0) return nullptr;
    if (PyObject_SetAttr(self, N._user_dragging, Py_False) < 0) return nullptr;

    if (!call_method(self, N._init_ui)) return nullptr;
    Py_RETURN_NONE;
}

}  // namespace

const FunctionDef init_def = {"__init__", init_params, 23, true, true, drawer_init, nullptr};

const char* const init_annotations[22][2] = {
    {"parent", "Optional[QWidget]"},
    {"title", "Optional[Union[State, str, Callable]]"},
    {"anchor", "Union[State, str]"},
    {"anchorEl", "Optional[Union[State, QWidget]]"},
    {"children", "Optional[Union[State, QWidget, List[QWidget]]]"},
    {"classes", "Optional[Union[State, Dict]]"},
    {"elevation", "Union[State, int]"},
    {"hideBackdrop", "Union[State, bool]"},
    {"ModalProps", "Optional[Union[State, Dict]]"},
    {"onClose", "Optional[Union[State, Callable]]"},
    {"open", "Union[State, bool]"},
    {"PaperProps", "Optional[Union[State, Dict]]"},
    {"SlideProps", "Optional[Union[State, Dict]]"},
    {"slotProps", "Optional[Union[State, Dict]]"},
    {"slots", "Optional[Union[State, Dict]]"},
    {"sx", "Optional[Union[State, Dict, Callable, str]]"},
    {"transitionDuration", "Optional[Union[State, int, Dict]]"},
    {"variant", "Optional[Union[State, str]]"},
    {"minWidth", "Optional[Union[State, int]]"},
    {"maxWidth", "Optional[Union[State, int]]"},
    {"minHeight", "Optional[Union[State, int]]"},
    {"maxHeight", "Optional[Union[State, int]]"},
};

Ref init_defaults() {
    return Ref::steal(Py_BuildValue("(OssOOOiOOOOOOOOOOsOOOO)", Py_None, "Drawer", "right", Py_None, Py_None, Py_None, 16,
                                    Py_False, Py_None, Py_None, Py_False, Py_None, Py_None, Py_None, Py_None,
                                    Py_None, Py_None, "temporary", Py_None, Py_None, Py_None, Py_None));
}

void raise_value_error(const char* message) {
    Ref text = Ref::steal(PyUnicode_FromString(message));
    Ref exc = text ? call(builtin_ValueError, text.get()) : Ref();
    if (exc) PyErr_SetObject(reinterpret_cast<PyObject*>(Py_TYPE(exc.get())), exc.get());
}

}  // namespace zarnu::drawer
