// Zero-argument `super()` calls of the methods that chain to the next class (`__init__`,
// `eventFilter`): the attribute found after the owner in the MRO is cached per type, and the
// entry stands while no watched type changes.
#pragma once

#include "function.hpp"
#include "state.hpp"

namespace zarnu {

// `super().name(*args[1:])` for a method of `fn`'s owner class, args[0] being `self`; `cache` is
// the method's, in the state.
Ref super_call(Function* fn, PyObject* name, SuperCache& cache, PyObject* const* args, Py_ssize_t nargs);

}  // namespace zarnu
