// The module namespace as the methods read it at each run: the names they look up (cached while
// the namespace is unchanged, as a dict watcher tells), class attributes read through those names
// (cached while the class is unchanged too), and the builtins taken at import.
#pragma once

#include "type_watch.hpp"

namespace zarnu {

// Binds the module namespace into the module's state, adds the watchers and takes the builtins.
int module_globals_init(PyObject* module, ModuleState& s);

// LOAD_GLOBAL: the module namespace, then the builtins; NameError when neither has the name.
Ref global(Global g);

// `QApplication.instance().mainWindow`: the host's main window, read as a plain attribute.
Ref host_main_window();

// `ModuleName.attr`, cached in `cache` (a member of the state). Entries remember the epochs
// they were filled in; nothing is cached while the namespace is not watched.
Ref class_attr_lookup(Global cls_name, PyObject* attr, ClassAttrCache& cache);

inline Ref class_attr(Global cls_name, PyObject* attr, ClassAttrCache& cache) {
    const ModuleState* s = module_state;
    if (cache.value && cache.names_epoch == s->names_epoch && cache.type_epoch == s->type_epoch)
        return Ref::borrow(cache.value);
    return class_attr_lookup(cls_name, attr, cache);
}

}  // namespace zarnu
