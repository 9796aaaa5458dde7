// What the drawer adapts to in the Qt binding that qtpy picked: read once at import.
#pragma once

#include "ref.hpp"

namespace zarnu::drawer {

// Reads the binding and Qt versions from qtpy (already imported). Never fails the import:
// a qtpy without the version attributes leaves every workaround off.
int check_binding();

// Qt 5 keeps the content frame's style rules from before the drawer's style sheet changed when
// the host has a style sheet of its own, so the frame's white background is not painted. Polishes
// the frame again after `setStyleSheet`; nothing on Qt 6. Fails only on an exception other than
// an ordinary one.
bool repolish_content_frame(PyObject* self);

// PySide6 before 6.12 deletes a splitter's handle twice when the handle's wrapper went away
// while the splitter, holding an event filter on it, is collected in a reference cycle. Keeps
// `handle` referenced until `self` is gone; nothing on other bindings. Fails only on an
// exception other than an ordinary one.
bool keep_handle_wrapper(PyObject* self, PyObject* handle);

}  // namespace zarnu::drawer
