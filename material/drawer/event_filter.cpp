// The host event filter: keeps a visible drawer over its anchor element and refreshes the
// splitter after a mouse drag. It sees every event of the host's main window, so it is the
// module's hot path: every call it must make is made, and nothing else.
#include "desktop.hpp"

namespace zarnu::drawer {
namespace {

constexpr const char* filter_params[] = {"self", "source", "event"};

// `event.type() == QEvent.<kind>`: 1, 0 or -1; `read`, when given, keeps the type read.
int type_is(PyObject* event, PyObject* kind, ClassAttrCache& cache, Ref* read = nullptr) {
    Ref t = call_method(event, N.type);
    if (!t) return -1;
    Ref expected = class_attr(Global::QEvent, kind, cache);
    int r = expected ? equals(t.get(), expected.get()) : -1;
    if (read) *read = std::move(t);
    return r;
}

PyObject* event_filter(Function* fn, PyObject* const* p) {
    PyObject* self = p[0];
    PyObject* source = p[1];
    PyObject* event = p[2];
    ModuleState* const module_state = zarnu::module_state;  // read once, for `N` and the caches below

    // Placement: a resize or move of the anchor element while the drawer is visible.
    int placed_event = type_is(event, N.Resize, module_state->resize_type);
    if (placed_event == 0) placed_event = type_is(event, N.Move, module_state->move_type);
    if (placed_event < 0) return nullptr;
    if (placed_event) {
        Ref anchor = getattr(self, N._anchorEl);
        int is_anchor = anchor ? equals(source, anchor.get()) : -1;
        if (is_anchor < 0) return nullptr;
        if (is_anchor) {
            Ref visible = call_method(self, N.isVisible);
            int v = visible ? truth(visible.get()) : -1;
            if (v < 0) return nullptr;
            if (v && !call_method(self, N.update_position)) return nullptr;
        } else if (desktop::on_geometry(self, source) < 0) {
            return nullptr;
        }
    }

    // Drag tracking, shared by every watched object: a press arms it, the next release fires.
    int press = type_is(event, N.MouseButtonPress, module_state->press_type);
    if (press < 0) return nullptr;
    if (press) {
        if (PyObject_SetAttr(self, N._user_dragging, Py_True) < 0) return nullptr;
    } else {
        Ref kind;
        int release = type_is(event, N.MouseButtonRelease, module_state->release_type, &kind);
        if (release < 0) return nullptr;
        int d = 0;
        if (release) {
            Ref dragging = getattr(self, N._user_dragging);
            d = dragging ? truth(dragging.get()) : -1;
            if (d < 0) return nullptr;
            if (d) {
                if (PyObject_SetAttr(self, N._user_dragging, Py_False) < 0 || !call_method(self, N.refresh) ||
                    !call_method(self, N.update))
                    return nullptr;
            }
        }
        // The drawer's own show and close, told apart by the type already read.
        if (!d && source == self && desktop::on_own_event(self, event, kind.get()) < 0) return nullptr;
    }

    return super_call(fn, N.eventFilter, module_state->filter_super, p, std::size(filter_params)).release();
}

}  // namespace

const FunctionDef event_filter_def = {"eventFilter", filter_params, std::size(filter_params),
                                      false, false, event_filter, nullptr};

}  // namespace zarnu::drawer
