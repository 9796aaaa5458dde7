// The methods of `Drawer`, grouped as the class groups them; the class assembly turns each
// definition into a function object of the class.
#pragma once

#include "runtime.hpp"

namespace zarnu::drawer {

// construction.cpp
extern const FunctionDef init_def;

// widget_tree.cpp
extern const FunctionDef init_ui_def;
extern const FunctionDef retranslation_def;

// style.cpp
extern const FunctionDef set_stylesheet_def;
extern const FunctionDef set_shadow_effect_def;

// placement.cpp
extern const FunctionDef show_def;
extern const FunctionDef close_def;
extern const FunctionDef show_drawer_def;
extern const FunctionDef update_position_def;

// event_filter.cpp
extern const FunctionDef event_filter_def;

// Raises `ValueError(message)` with the builtin taken at import.
void raise_value_error(const char* message);

}  // namespace zarnu::drawer
