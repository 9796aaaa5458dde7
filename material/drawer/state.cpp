#include "state.hpp"

#include <span>

namespace zarnu {

ModuleState* module_state = nullptr;

namespace {

// The references of a record made of object pointers only (the names, the constants, the
// desktop's names and classes), one slot each.
template <class T>
std::span<PyObject*> slots_of(T& record) {
    static_assert(std::is_standard_layout_v<T> && sizeof(T) % sizeof(PyObject*) == 0);
    return {reinterpret_cast<PyObject**>(&record), sizeof(T) / sizeof(PyObject*)};
}

// Every reference that may take part in a reference cycle, with `f` applied to each slot.
template <class F>
int each_cyclic(ModuleState* s, F&& f) {
    PyObject** slots[] = {
        &s->function_type, &s->module_dict, &s->kept_handles, &s->release_handle_fn,
        &s->resize_type.cls, &s->resize_type.value, &s->move_type.cls, &s->move_type.value,
        &s->press_type.cls, &s->press_type.value, &s->release_type.cls, &s->release_type.value,
        &s->init_super.type, &s->init_super.owner, &s->init_super.attr,
        &s->filter_super.type, &s->filter_super.owner, &s->filter_super.attr,
    };
    for (PyObject** slot : slots)
        if (int r = f(*slot)) return r;
    for (GlobalEntry& e : s->global_cache)
        if (int r = f(e.value)) return r;
    for (PyObject*& slot : slots_of(s->desktop.q))
        if (int r = f(slot)) return r;
    return 0;
}

// The references that cannot: strings, numbers, builtin types and the tables of names.
template <class F>
int each_acyclic(ModuleState* s, F&& f) {
    PyObject** slots[] = {
        &s->builtin_super, &s->builtin_ValueError, &s->prop_attrs, &s->setter_names,
        &s->type_instancecheck, &s->object_class,
    };
    for (PyObject** slot : slots)
        if (int r = f(*slot)) return r;
    for (PyObject*& slot : s->global_keys)
        if (int r = f(slot)) return r;
    for (PyObject*& slot : slots_of(s->names))
        if (int r = f(slot)) return r;
    for (PyObject*& slot : slots_of(s->constants))
        if (int r = f(slot)) return r;
    for (PyObject*& slot : slots_of(s->desktop.n))
        if (int r = f(slot)) return r;
    return 0;
}

}  // namespace

int state_traverse(ModuleState* s, visitproc visit, void* arg) {
    if (!s) return 0;
    auto v = [&](PyObject*& slot) {
        Py_VISIT(slot);
        return 0;
    };
    if (int r = each_cyclic(s, v)) return r;
    return each_acyclic(s, v);
}

void state_clear(ModuleState* s) {
    if (!s) return;
    // The namespace goes unwatched: the lookups that follow go to the (now empty) namespace.
    s->names_watched = false;
    each_cyclic(s, [](PyObject*& slot) {
        Py_CLEAR(slot);
        return 0;
    });
    s->desktop.ready = false;
}

void state_free(ModuleState* s) {
    if (!s) return;
    state_clear(s);
    each_acyclic(s, [](PyObject*& slot) {
        Py_CLEAR(slot);
        return 0;
    });
    if (s->has_dict_watcher && PyDict_ClearWatcher(s->dict_watcher) < 0) PyErr_Clear();
    if (s->has_type_watcher && PyType_ClearWatcher(s->type_watcher) < 0) PyErr_Clear();
    s->has_dict_watcher = s->has_type_watcher = false;
    drawer::desktop::close_display(s->desktop);
    if (module_state == s) module_state = nullptr;
    PyMem_Free(s);
}

}  // namespace zarnu
