#include "type_watch.hpp"

namespace zarnu {
namespace {

int on_type_event(PyTypeObject*) {
    if (module_state) ++module_state->type_epoch;
    return 0;
}

}  // namespace

void type_watch_init(ModuleState& s) {
    s.type_epoch = 1;
    s.type_watcher = PyType_AddWatcher(on_type_event);
    s.has_type_watcher = s.type_watcher >= 0;
    PyErr_Clear();
}

bool watch_type(PyObject* type) {
    ModuleState* s = module_state;
    if (!s->has_type_watcher || !PyType_Check(type)) return false;
    // Unstable API: watchers hear only of types holding a version tag, and nothing public gives one.
    if (!PyUnstable_Type_AssignVersionTag(reinterpret_cast<PyTypeObject*>(type))) return false;
    if (PyType_Watch(s->type_watcher, type) < 0) {
        PyErr_Clear();
        return false;
    }
    return true;
}

}  // namespace zarnu
