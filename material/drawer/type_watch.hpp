// The types whose attributes the caches keep: a type watcher moves an epoch on with any change
// of a watched type (or of one of its bases), and a cache entry stands while the epoch it was
// filled in does.
#pragma once

#include "ref.hpp"

#include <cstdint>

namespace zarnu {

extern std::uint64_t type_epoch;

// Adds the type watcher; once per process. Without a free watcher slot nothing is cached.
void type_watch_init();

// Makes sure that a change of `type` (or of a base) reaches the type watcher; false when the
// interpreter cannot promise it, in which case nothing is cached for that type.
bool watch_type(PyObject* type);

}  // namespace zarnu
