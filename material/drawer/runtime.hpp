// What the drawer's methods run on, one header for all of it: the compiled function type, the
// interned names and constants (names.hpp), Python operations (operations.hpp), the module
// namespace and its caches (module_globals.hpp, type_watch.hpp) and `super()` calls
// (super_call.hpp).
#pragma once

#include "function.hpp"
#include "module_globals.hpp"
#include "names.hpp"
#include "operations.hpp"
#include "sibling/contract.hpp"
#include "super_call.hpp"
