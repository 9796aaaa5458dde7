// The drawer's 21 props: one table drives the accessors, their documentation strings and the
// validation metadata handed to the library's decorator factory.
#pragma once

#include "function.hpp"

#include <cstdint>

namespace zarnu::drawer {

// The forms a prop accepts, as members of the `typing.Union` given to the validation decorator.
enum class Form : std::uint8_t { State, Str, Int, Bool, Dict, Callable, QWidget, None };

// The class attribute whose list is passed as `valid_values`.
enum class Valid : std::uint8_t { Nothing, Anchor, Variant };

struct Prop {
    const char* name;
    const char* setter_doc;
    bool validated;
    Valid valid;
    Form forms[5];
    std::uint8_t nforms;
    FunctionDef setter;
    FunctionDef getter;
};

extern Prop props[21];

// Interned attribute name (`_<prop>`) of each prop, filled at import.
extern PyObject* prop_attrs[21];

int props_init();

// Index of a prop in the table, by name; used by the constructor for its fixed order.
int prop_index(const char* name);

}  // namespace zarnu::drawer
