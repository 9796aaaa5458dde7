// The class statement of `Drawer`, made as the interpreter makes one: the bases and their
// `__mro_entries__`, the metaclass and its `__prepare__`, the body binding each member in class
// order (validated setters through the library's decorator), then the metaclass call.
#include "class_statement.hpp"

#include "methods.hpp"
#include "props.hpp"
#include "sibling/contract.hpp"

#include <span>

namespace zarnu::drawer {
namespace {

// LOAD_NAME inside the class body: the class namespace, the module namespace, the builtins.
Ref body_name(PyObject* ns, PyObject* globals, const char* text) {
    Ref key = Ref::steal(PyUnicode_InternFromString(text));
    if (!key) return {};
    Ref value = Ref::steal(PyObject_GetItem(ns, key.get()));
    if (value || !PyErr_ExceptionMatches(PyExc_KeyError)) return value;
    PyErr_Clear();
    PyObject* found = nullptr;
    if (PyDict_GetItemRef(globals, key.get(), &found) < 0) return {};
    if (!found && PyDict_GetItemRef(PyEval_GetBuiltins(), key.get(), &found) < 0) return {};
    if (!found) PyErr_Format(PyExc_NameError, "name '%U' is not defined", key.get());
    return Ref::steal(found);
}

struct ClassBody {
    PyObject* ns;
    PyObject* globals;
    PyObject* module_name;

    // Keys are interned, as the compiler interns the names a class body binds: a key that is
    // only equal to the looked-up name costs a string comparison on every lookup in the class
    // dict that the binding makes itself.
    int bind(const char* name, PyObject* value) {
        Ref key = Ref::steal(PyUnicode_InternFromString(name));
        return key ? PyObject_SetItem(ns, key.get(), value) : -1;
    }

    Ref make(const FunctionDef& def, PyObject* defaults = nullptr, PyObject* annotations = nullptr,
             const void* data = nullptr) {
        Ref qualname = Ref::steal(PyUnicode_FromFormat("Drawer.%s", def.name));
        if (!qualname) return {};
        return function_new(def, qualname.get(), module_name, globals, defaults, annotations, data);
    }

    int define(const FunctionDef& def, PyObject* defaults = nullptr, PyObject* annotations = nullptr) {
        Ref fn = make(def, defaults, annotations);
        return fn ? bind(def.name, fn.get()) : -1;
    }

    Ref form(Form f) {
        switch (f) {
            case Form::State: return body_name(ns, globals, "State");
            case Form::Str: return Ref::borrow(reinterpret_cast<PyObject*>(&PyUnicode_Type));
            case Form::Int: return Ref::borrow(reinterpret_cast<PyObject*>(&PyLong_Type));
            case Form::Bool: return Ref::borrow(reinterpret_cast<PyObject*>(&PyBool_Type));
            case Form::Dict: return body_name(ns, globals, "Dict");
            case Form::Callable: return body_name(ns, globals, "Callable");
            case Form::QWidget: return body_name(ns, globals, "QWidget");
            case Form::QWidgetList: {
                Ref List = body_name(ns, globals, "List");
                Ref QWidget = List ? body_name(ns, globals, "QWidget") : Ref();
                return QWidget ? Ref::steal(PyObject_GetItem(List.get(), QWidget.get())) : Ref();
            }
            case Form::None: return Ref::borrow(Py_None);
            case Form::Absent: break;
        }
        PyErr_SetString(PyExc_SystemError, "no such form");
        return {};
    }

    // `Union[<forms>]`, the accepted forms as the decorator takes them.
    Ref supported_signatures(const Param& prop) {
        Ref Union = body_name(ns, globals, "Union");
        Ref members = Union ? Ref::steal(PyTuple_New(form_count(prop))) : Ref();
        if (!members) return {};
        for (std::size_t i = 0; i < form_count(prop); i++) {
            Ref m = form(prop.forms[i]);
            if (!m) return {};
            PyTuple_SET_ITEM(members.get(), i, m.release());
        }
        return Ref::steal(PyObject_GetItem(Union.get(), members.get()));
    }

    // `_validate_param(file_path=..., param_name=..., supported_signatures=Union[...][, valid_values=...])`
    Ref validation_decorator(const Param& prop) {
        Ref factory = body_name(ns, globals, "_validate_param");
        Ref file_path = factory ? Ref::steal(PyUnicode_FromString(sibling::validation_file_path)) : Ref();
        Ref param_name = file_path ? Ref::steal(PyUnicode_FromString(prop.name)) : Ref();
        Ref signatures = param_name ? supported_signatures(prop) : Ref();
        if (!signatures) return {};
        Ref valid, kwnames;
        if (!prop.valid) {
            kwnames = Ref::steal(PyTuple_Pack(3, N.file_path, N.param_name, N.supported_signatures));
        } else {
            valid = body_name(ns, globals, prop.valid->attr);
            if (!valid) return {};
            kwnames = Ref::steal(PyTuple_Pack(4, N.file_path, N.param_name, N.supported_signatures, N.valid_values));
        }
        if (!kwnames) return {};
        PyObject* args[] = {file_path.get(), param_name.get(), signatures.get(), valid.get()};
        return Ref::steal(PyObject_Vectorcall(factory.get(), args, 0, kwnames.get()));
    }

    // The setter, through the validation decorator when the prop is validated, then the getter.
    int define_prop(const Param& prop, const Accessors& accessors, const void* datum) {
        Ref setter;
        if (prop.validated) {
            Ref decorator = validation_decorator(prop);
            Ref plain = decorator ? make(accessors.setter, nullptr, nullptr, datum) : Ref();
            setter = plain ? call(decorator.get(), plain.get()) : Ref();
        } else {
            setter = make(accessors.setter, nullptr, nullptr, datum);
        }
        if (!setter || bind(accessors.setter.name, setter.get()) < 0) return -1;
        Ref getter = make(accessors.getter, nullptr, nullptr, datum);
        return getter ? bind(accessors.getter.name, getter.get()) : -1;
    }
};

Ref string_list(std::span<const char* const> items) {
    Ref list = Ref::steal(PyList_New(0));
    if (!list) return {};
    for (const char* s : items) {
        Ref item = Ref::steal(PyUnicode_FromString(s));
        if (!item || PyList_Append(list.get(), item.get()) < 0) return {};
    }
    return list;
}

// `__mro_entries__` resolution, as a class statement does it; sets `orig` when bases changed.
Ref resolve_bases(PyObject* bases, Ref& orig) {
    Ref resolved = Ref::steal(PyList_New(0));
    if (!resolved) return {};
    bool changed = false;
    for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(bases); i++) {
        PyObject* base = PyTuple_GET_ITEM(bases, i);
        Ref entries;
        PyObject* meth = nullptr;
        if (!PyType_Check(base) && PyObject_GetOptionalAttr(base, N.__mro_entries__, &meth) < 0) return {};
        Ref holder = Ref::steal(meth);
        if (holder) {
            entries = call(holder.get(), bases);
            if (!entries) return {};
            if (!PyTuple_Check(entries.get())) {
                PyErr_SetString(PyExc_TypeError, "__mro_entries__ must return a tuple");
                return {};
            }
            changed = true;
            for (Py_ssize_t j = 0; j < PyTuple_GET_SIZE(entries.get()); j++)
                if (PyList_Append(resolved.get(), PyTuple_GET_ITEM(entries.get(), j)) < 0) return {};
        } else if (PyList_Append(resolved.get(), base) < 0) {
            return {};
        }
    }
    if (!changed) return Ref::borrow(bases);
    orig = Ref::borrow(bases);
    return Ref::steal(PyList_AsTuple(resolved.get()));
}

// The most derived metaclass of the bases.
Ref metaclass_of(PyObject* bases) {
    PyTypeObject* winner = &PyType_Type;
    for (Py_ssize_t i = 0; i < PyTuple_GET_SIZE(bases); i++) {
        PyTypeObject* t = Py_TYPE(PyTuple_GET_ITEM(bases, i));
        if (PyType_IsSubtype(winner, t)) continue;
        if (PyType_IsSubtype(t, winner)) {
            winner = t;
            continue;
        }
        PyErr_SetString(PyExc_TypeError,
                        "metaclass conflict: the metaclass of a derived class must be a (non-strict) subclass "
                        "of the metaclasses of all its bases");
        return {};
    }
    return Ref::borrow(reinterpret_cast<PyObject*>(winner));
}

// What a class statement settles before its body runs: the bases after `__mro_entries__`
// (with the original ones when they changed), the metaclass, and the namespace it prepares.
struct ClassHeader {
    Ref name, bases, orig_bases, meta, ns;
};

int prepare_class(PyObject* globals, ClassHeader& h) {
    h.name = Ref::steal(PyUnicode_InternFromString("Drawer"));
    if (!h.name) return -1;
    Ref empty_ns = Ref::steal(PyDict_New());
    Ref QSplitter = empty_ns ? body_name(empty_ns.get(), globals, "QSplitter") : Ref();
    Ref bases = QSplitter ? Ref::steal(PyTuple_Pack(1, QSplitter.get())) : Ref();
    if (!bases) return -1;
    h.bases = resolve_bases(bases.get(), h.orig_bases);
    h.meta = h.bases ? metaclass_of(h.bases.get()) : Ref();
    if (!h.meta) return -1;

    PyObject* prepare = nullptr;
    if (PyObject_GetOptionalAttr(h.meta.get(), N.__prepare__, &prepare) < 0) return -1;
    Ref prepare_ref = Ref::steal(prepare);
    h.ns = prepare_ref ? call(prepare_ref.get(), h.name.get(), h.bases.get()) : Ref::steal(PyDict_New());
    return h.ns ? 0 : -1;
}

// `__module__`, `__qualname__`, `__doc__`, then the lists of valid values.
int bind_class_attributes(ClassBody& body, PyObject* name) {
    Ref doc = class_doc_text();
    if (!doc || body.bind("__module__", body.module_name) < 0 || body.bind("__qualname__", name) < 0 ||
        body.bind("__doc__", doc.get()) < 0)
        return -1;
    for (const ValidValues* list : valid_value_lists) {
        Ref values = string_list(list->values);
        if (!values || body.bind(list->attr, values.get()) < 0) return -1;
    }
    return 0;
}

// The constructor, with the parameter table's defaults and annotations, then the accessors.
Ref define_constructor_and_accessors(ClassBody& body) {
    Ref defaults = param_defaults();
    Ref annotations = defaults ? param_annotations() : Ref();
    Ref init = annotations ? body.make(init_def, defaults.get(), annotations.get()) : Ref();
    if (!init || body.bind("__init__", init.get()) < 0) return {};
    for (std::size_t i = 0; i < std::size(params); i++)
        if (params[i].prop && body.define_prop(params[i], accessors_of(i), accessor_datum(i)) < 0) return {};
    return init;
}

// The other methods, in class order; gives back the event filter.
Ref define_methods(ClassBody& body) {
    if (body.define(init_ui_def) < 0 || body.define(set_stylesheet_def) < 0) return {};

    // Evaluated once: every call that omits `color` receives this very colour.
    Ref QColor = body_name(body.ns, body.globals, "QColor");
    Ref black = QColor ? call(QColor.get(), C.int0, C.int0, C.int0, C.int50) : Ref();
    Ref shadow_defaults = black ? Ref::steal(Py_BuildValue("(i(ii)O)", 60, 0, 10, black.get())) : Ref();
    if (!shadow_defaults || body.define(set_shadow_effect_def, shadow_defaults.get()) < 0) return {};

    Ref show_ann = Ref::steal(Py_BuildValue("{s:s}", "state", "bool"));
    if (!show_ann || body.define(retranslation_def) < 0 || body.define(show_def, nullptr, show_ann.get()) < 0 ||
        body.define(close_def) < 0 || body.define(show_drawer_def) < 0 || body.define(update_position_def) < 0)
        return {};
    Ref filter = body.make(event_filter_def);
    if (!filter || body.bind("eventFilter", filter.get()) < 0) return {};
    return filter;
}

}  // namespace

Ref build_class(PyObject* globals, PyObject* module_name) {
    ClassHeader h;
    if (prepare_class(globals, h) < 0) return {};
    ClassBody body{h.ns.get(), globals, module_name};
    if (bind_class_attributes(body, h.name.get()) < 0) return {};
    Ref init = define_constructor_and_accessors(body);
    Ref filter = init ? define_methods(body) : Ref();
    if (!filter) return {};

    if (h.orig_bases && PyMapping_SetItemString(h.ns.get(), "__orig_bases__", h.orig_bases.get()) < 0) return {};
    Ref cls = call(h.meta.get(), h.name.get(), h.bases.get(), h.ns.get());
    if (!cls) return {};
    // The `super()` owner of the two methods that chain to the next class.
    function_set_owner(init.get(), cls.get());
    function_set_owner(filter.get(), cls.get());
    return cls;
}

}  // namespace zarnu::drawer
