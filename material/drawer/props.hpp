// The prop accessors: for each prop of the parameter table a setter `_set_<prop>` and a getter
// `_get_<prop>`, made from the table at import.
#pragma once

#include "params.hpp"

namespace zarnu::drawer {

struct Accessors {
    FunctionDef setter;
    FunctionDef getter;
};

// Makes the accessors' definitions (once per process) and interns their names into the state.
int props_init(ModuleState& s);

// The accessors of `params[i]`, a prop, and the datum that each function made from them gets.
const Accessors& accessors_of(std::size_t i);
const void* accessor_datum(std::size_t i);

// The interned name of the setter of `params[i]`, a prop.
PyObject* setter_name(std::size_t i);

}  // namespace zarnu::drawer
