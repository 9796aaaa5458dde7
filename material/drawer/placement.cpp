// Opening, closing and placing the drawer window over its anchor element.
#include "desktop.hpp"

namespace zarnu::drawer {
namespace {

constexpr const char* self_only[] = {"self"};
constexpr const char* show_params[] = {"self", "state"};

PyObject* show_drawer(Function*, PyObject* const* p) {
    PyObject* self = p[0];
    if (!call_method(self, N.update_position) || !call_method(self, N.setVisible, Py_True)) return nullptr;
    Py_RETURN_NONE;
}

// Opens a hidden drawer on a true state; any other case hides it (a true state on a visible
// drawer included).
PyObject* show(Function*, PyObject* const* p) {
    PyObject* self = p[0];
    int state = truth(p[1]);
    if (state < 0) return nullptr;
    int open = 0;
    if (state) {
        Ref visible = call_method(self, N.isVisible);
        int v = visible ? truth(visible.get()) : -1;
        if (v < 0) return nullptr;
        open = !v;
    }
    if (open) {
        if (!call_method(self, N.update_position) || !call_method(self, N.setVisible, Py_True)) return nullptr;
    } else if (!call_method(self, N.setVisible, Py_False)) {
        return nullptr;
    }
    Py_RETURN_NONE;
}

PyObject* close(Function*, PyObject* const* p) {
    PyObject* self = p[0];
    if (!call_method(self, N.setVisible, Py_False)) return nullptr;
    Ref on_close = getattr(self, N._onClose);
    int t = on_close ? truth(on_close.get()) : -1;
    if (t < 0) return nullptr;
    if (t) {
        on_close = getattr(self, N._onClose);
        if (!on_close || !call(on_close.get())) return nullptr;
    }
    Py_RETURN_NONE;
}

// Lays the window exactly over the anchor element's rectangle in screen coordinates; without an
// anchor element the host's main window becomes the anchor element for good.
PyObject* update_position(Function*, PyObject* const* p) {
    ModuleState* const module_state = zarnu::module_state;  // read once, for `N` and `C` below
    PyObject* self = p[0];
    Ref anchor = getattr(self, N._anchorEl);
    int t = anchor ? truth(anchor.get()) : -1;
    if (t < 0) return nullptr;
    if (!t) {
        Ref main_window = host_main_window();
        if (!main_window || PyObject_SetAttr(self, N._anchorEl, main_window.get()) < 0) return nullptr;
    }
    // As a top-level window the splitter raises its minimum size to its panes' minimums, which
    // would keep the window larger than a small anchor element.
    if (!call_method(self, N.setMinimumSize, C.int0, C.int0)) return nullptr;
    anchor = getattr(self, N._anchorEl);
    Ref QPoint = anchor ? global(Global::QPoint) : Ref();
    Ref origin = QPoint ? call(QPoint.get(), C.int0, C.int0) : Ref();
    Ref popup_position = origin ? call_method(anchor.get(), N.mapToGlobal, origin.get()) : Ref();
    if (!popup_position) return nullptr;
    // Where the platform cannot place the window, the drawer is laid over its anchor element
    // inside the anchor's window.
    int inside = desktop::embedded();
    if (inside < 0) return nullptr;
    if (inside && !(popup_position = desktop::embed(self, popup_position.get()))) return nullptr;

    Ref x = call_method(popup_position.get(), N.x);
    Ref y = x ? call_method(popup_position.get(), N.y) : Ref();
    anchor = y ? getattr(self, N._anchorEl) : Ref();
    Ref width = anchor ? call_method(anchor.get(), N.width) : Ref();
    anchor = width ? getattr(self, N._anchorEl) : Ref();
    Ref height = anchor ? call_method(anchor.get(), N.height) : Ref();
    if (!height || !call_method(self, N.setGeometry, x.get(), y.get(), width.get(), height.get())) return nullptr;
    Py_RETURN_NONE;
}

}  // namespace

const FunctionDef show_def = {"_show", show_params, std::size(show_params), false, false, show, nullptr};
const FunctionDef close_def = {"_close", self_only, std::size(self_only), false, false, close, nullptr};
const FunctionDef show_drawer_def = {"showDrawer", self_only, std::size(self_only), false, false, show_drawer,
                                     nullptr};
const FunctionDef update_position_def = {"update_position", self_only, std::size(self_only), false, false,
                                         update_position, nullptr};

}  // namespace zarnu::drawer
