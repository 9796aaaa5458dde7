// The drawer's style sheet, built from the theme and the `sx` prop, and its drop shadow.
#include "binding_check.hpp"
#include "methods.hpp"

namespace zarnu::drawer {
namespace {

constexpr const char* self_only[] = {"self"};
constexpr const char* shadow_params[] = {"self", "blurRadius", "offset", "color"};

// `str(value)` as an f-string replacement field renders it.
Ref formatted(PyObject* value) { return Ref::steal(PyObject_Format(value, C.empty)); }

// The declarations that the `sx` prop contributes: empty, converted from a dict, or text.
Ref sx_declarations(PyObject* self) {
    Ref sx = getattr(self, N._sx);
    if (!sx) return {};
    int t = truth(sx.get());
    if (t <= 0) return t < 0 ? Ref() : Ref::borrow(C.empty);

    sx = getattr(self, N._sx);
    int is_dict = sx ? is_instance(sx.get(), reinterpret_cast<PyObject*>(&PyDict_Type)) : -1;
    if (is_dict < 0) return {};
    if (is_dict) {
        Ref get_qss_style = global(Global::get_qss_style);
        Ref again = get_qss_style ? getattr(self, N._sx) : Ref();
        return again ? call(get_qss_style.get(), again.get()) : Ref();
    }

    Ref Callable = global(Global::Callable);
    sx = Callable ? getattr(self, N._sx) : Ref();
    int is_callable = sx ? is_instance(sx.get(), Callable.get()) : -1;
    if (is_callable < 0) return {};
    if (is_callable) {
        Ref again = getattr(self, N._sx);
        Ref result = again ? call(again.get()) : Ref();
        if (!result) return {};
        int r_dict = is_instance(result.get(), reinterpret_cast<PyObject*>(&PyDict_Type));
        if (r_dict < 0) return {};
        if (r_dict) {
            Ref get_qss_style = global(Global::get_qss_style);
            return get_qss_style ? call(get_qss_style.get(), result.get()) : Ref();
        }
        int r_str = is_instance(result.get(), reinterpret_cast<PyObject*>(&PyUnicode_Type));
        if (r_str < 0) return {};
        return r_str ? result : Ref::borrow(C.empty);
    }

    sx = getattr(self, N._sx);
    int is_str = sx ? is_instance(sx.get(), reinterpret_cast<PyObject*>(&PyUnicode_Type)) : -1;
    if (is_str < 0) return {};
    if (!is_str) return Ref::borrow(C.empty);
    return getattr(self, N._sx);
}

// The ten-line style text around the two inserted values.
Ref style_text(PyObject* root_qss, PyObject* sx_qss) {
    Ref root = formatted(root_qss);
    Ref sx = root ? formatted(sx_qss) : Ref();
    if (!sx) return {};
    return Ref::steal(PyUnicode_FromFormat("\n"
                                           "                #PyDrawer {\n"
                                           "                    %U\n"
                                           "                    %U\n"
                                           "                    \n"
                                           "                }\n"
                                           "                #contentFrame {\n"
                                           "                    background-color: white;\n"
                                           "                }\n"
                                           "            ",
                                           root.get(), sx.get()));
}

PyObject* set_stylesheet(Function*, PyObject* const* p) {
    PyObject* self = p[0];
    Ref useTheme = global(Global::useTheme);
    Ref theme = useTheme ? call(useTheme.get()) : Ref();
    if (!theme || PyObject_SetAttr(self, N.theme, theme.get()) < 0) return nullptr;
    theme = getattr(self, N.theme);
    Ref component_styles = theme ? getattr(theme.get(), N.components) : Ref();
    if (!component_styles) return nullptr;

    Ref owner_state = Ref::steal(PyDict_New());
    if (!owner_state) return nullptr;
    Ref anchor = getattr(self, N._anchor);
    if (!anchor || PyDict_SetItem(owner_state.get(), C.anchor, anchor.get()) < 0) return nullptr;
    Ref variant = getattr(self, N._variant);
    if (!variant || PyDict_SetItem(owner_state.get(), C.variant, variant.get()) < 0) return nullptr;

    Ref entry = Ref::steal(PyObject_GetItem(component_styles.get(), C.PyDrawer));
    Ref styles = entry ? call_method(entry.get(), N.get, C.styles) : Ref();
    Ref root_fn = styles ? Ref::steal(PyObject_GetItem(styles.get(), C.root)) : Ref();
    Ref root = root_fn ? call(root_fn.get(), owner_state.get()) : Ref();
    if (!root) return nullptr;
    Ref get_qss_style = global(Global::get_qss_style);
    Ref root_qss = get_qss_style ? call(get_qss_style.get(), root.get()) : Ref();
    if (!root_qss) return nullptr;

    Ref sx_qss = sx_declarations(self);
    if (!sx_qss) return nullptr;

    Ref text = style_text(root_qss.get(), sx_qss.get());
    if (!text || !call_method(self, N.setStyleSheet, text.get())) return nullptr;
    if (!repolish_content_frame(self)) return nullptr;
    if (!call_method(self, N.setShadowEffect)) return nullptr;
    Py_RETURN_NONE;
}

bool apply_shadow(PyObject* self, PyObject* blur_radius, PyObject* offset, PyObject* color) {
    Ref QGraphicsDropShadowEffect = global(Global::QGraphicsDropShadowEffect);
    Ref content = QGraphicsDropShadowEffect ? getattr(self, N._frm_content) : Ref();
    Ref effect = content ? call(QGraphicsDropShadowEffect.get(), content.get()) : Ref();
    if (!effect || !call_method(effect.get(), N.setBlurRadius, blur_radius)) return false;

    Ref items = Ref::steal(PySequence_Tuple(offset));
    Ref set_offset = items ? getattr(effect.get(), N.setOffset) : Ref();
    if (!set_offset || !Ref::steal(PyObject_Call(set_offset.get(), items.get(), nullptr))) return false;
    if (!call_method(effect.get(), N.setColor, color)) return false;

    content = getattr(self, N._frm_content);
    if (!content || !call_method(content.get(), N.setGraphicsEffect, Py_None)) return false;
    content = getattr(self, N._frm_content);
    return content && call_method(content.get(), N.setGraphicsEffect, effect.get());
}

// Puts a new drop shadow on the content frame; an unusable argument leaves it silently as it
// was (ordinary exceptions only: an interrupt still passes).
PyObject* set_shadow_effect(Function*, PyObject* const* p) {
    if (!apply_shadow(p[0], p[1], p[2], p[3])) {
        if (!PyErr_ExceptionMatches(PyExc_Exception)) return nullptr;
        PyErr_Clear();
    }
    Py_RETURN_NONE;
}

}  // namespace

const FunctionDef set_stylesheet_def = {"_set_stylesheet", self_only, std::size(self_only), false, false,
                                       set_stylesheet, nullptr};
const FunctionDef set_shadow_effect_def = {"setShadowEffect", shadow_params, std::size(shadow_params), false, false,
                                          set_shadow_effect, " add shadow to dialog "};

}  // namespace zarnu::drawer
