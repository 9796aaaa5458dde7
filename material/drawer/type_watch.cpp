#include "type_watch.hpp"

namespace zarnu {

std::uint64_t type_epoch = 1;

namespace {

int type_watcher = -1;

int on_type_event(PyTypeObject*) {
    ++type_epoch;
    return 0;
}

}  // namespace

void type_watch_init() {
    static bool added = false;
    if (added) return;
    added = true;
    type_watcher = PyType_AddWatcher(on_type_event);
    PyErr_Clear();
}

bool watch_type(PyObject* type) {
    if (type_watcher < 0 || !PyType_Check(type)) return false;
    // Unstable API: watchers hear only of types holding a version tag, and nothing public gives one.
    if (!PyUnstable_Type_AssignVersionTag(reinterpret_cast<PyTypeObject*>(type))) return false;
    if (PyType_Watch(type_watcher, type) < 0) {
        PyErr_Clear();
        return false;
    }
    return true;
}

}  // namespace zarnu
