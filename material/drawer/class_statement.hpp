// The class statement that makes `Drawer` in the module namespace (class_statement.cpp).
#pragma once

#include "ref.hpp"

namespace zarnu::drawer {

// Runs the class statement against the module namespace `globals` (imports done) and gives
// back the class, or null with the exception raised by the step that failed.
Ref build_class(PyObject* globals, PyObject* module_name);

}  // namespace zarnu::drawer
