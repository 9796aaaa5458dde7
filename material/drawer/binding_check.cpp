// Workarounds for faults of particular Qt bindings, switched on by the versions qtpy reports.
#include "binding_check.hpp"

#include "runtime.hpp"

#include <cstdlib>

namespace zarnu::drawer {
namespace {

// The first `count` numbers of a version text such as "6.8.2.1"; missing ones are 0.
void version_numbers(PyObject* text, long* out, int count) {
    for (int i = 0; i < count; i++) out[i] = 0;
    const char* s = text && PyUnicode_Check(text) ? PyUnicode_AsUTF8(text) : nullptr;
    if (!s) {
        PyErr_Clear();
        return;
    }
    for (int i = 0; i < count && *s; i++) {
        char* end = nullptr;
        out[i] = std::strtol(s, &end, 10);
        if (end == s || *end != '.') break;
        s = end + 1;
    }
}

Ref qtpy_attr(PyObject* qtpy, const char* name) {
    Ref value = Ref::steal(PyObject_GetAttrString(qtpy, name));
    if (!value) PyErr_Clear();
    return value;
}

// A drawer's weak reference callback: its entry of the state's kept handles goes (the module,
// and with it the whole dict, may have gone first).
PyObject* release_handle(PyObject*, PyObject* ref) {
    PyObject* kept = module_state ? module_state->kept_handles : nullptr;
    if (!kept) Py_RETURN_NONE;
    Ref key = Ref::steal(PyLong_FromVoidPtr(ref));
    if (!key) return nullptr;
    if (PyDict_Pop(kept, key.get(), nullptr) < 0) return nullptr;
    Py_RETURN_NONE;
}

PyMethodDef release_handle_def = {"release_handle", release_handle, METH_O, nullptr};

}  // namespace

int check_binding() {
    Ref qtpy = Ref::steal(PyImport_ImportModule("qtpy"));
    if (!qtpy) {
        PyErr_Clear();
        return 0;
    }
    ModuleState* s = module_state;
    long qt[1], pyside[2];
    version_numbers(qtpy_attr(qtpy.get(), "QT_VERSION").get(), qt, 1);
    s->qt5 = qt[0] == 5;
    Ref pyside6 = qtpy_attr(qtpy.get(), "PYSIDE6");
    if (pyside6 && PyObject_IsTrue(pyside6.get()) == 1) {
        version_numbers(qtpy_attr(qtpy.get(), "PYSIDE_VERSION").get(), pyside, 2);
        s->pyside_handle_fix = pyside[0] == 6 && pyside[1] < 12;
    }
    PyErr_Clear();
    return 0;
}

bool repolish_content_frame(PyObject* self) {
    if (!module_state->qt5) return true;
    Ref frame = getattr(self, N._frm_content);
    Ref style = frame ? call_method(frame.get(), N.style) : Ref();
    if (style && call_method(style.get(), N.unpolish, frame.get())) call_method(style.get(), N.polish, frame.get());
    if (!PyErr_Occurred()) return true;
    if (!PyErr_ExceptionMatches(PyExc_Exception)) return false;
    PyErr_Clear();  // whatever `_frm_content` has become: nothing to repaint
    return true;
}

bool keep_handle_wrapper(PyObject* self, PyObject* handle) {
    ModuleState* s = module_state;
    if (!s->pyside_handle_fix) return true;
    if (!s->kept_handles && !(s->kept_handles = PyDict_New())) return false;
    if (!s->release_handle_fn && !(s->release_handle_fn = PyCFunction_New(&release_handle_def, nullptr))) return false;
    Ref ref = Ref::steal(PyWeakref_NewRef(self, s->release_handle_fn));
    Ref key = ref ? Ref::steal(PyLong_FromVoidPtr(ref.get())) : Ref();
    Ref entry = key ? Ref::steal(PyTuple_Pack(2, ref.get(), handle)) : Ref();
    if (entry && PyDict_SetItem(s->kept_handles, key.get(), entry.get()) == 0) return true;
    if (!PyErr_ExceptionMatches(PyExc_Exception)) return false;
    PyErr_Clear();  // not weakly referable: no workaround, as before
    return true;
}

}  // namespace zarnu::drawer
