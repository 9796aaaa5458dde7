// The types whose attributes the caches keep: a type watcher moves the state's type epoch on with
// any change of a watched type (or of one of its bases), and a cache entry stands while the epoch
// it was filled in does.
#pragma once

#include "state.hpp"

namespace zarnu {

// Adds the module's type watcher. Without a free watcher slot nothing is cached.
void type_watch_init(ModuleState& s);

// Makes sure that a change of `type` (or of a base) reaches the type watcher; false when the
// interpreter cannot promise it, in which case nothing is cached for that type.
bool watch_type(PyObject* type);

}  // namespace zarnu
