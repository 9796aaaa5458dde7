// What the class takes from the parameter table at run time: the constructor's defaults and
// annotations, and the parameter lines of the class documentation.
#include "params.hpp"

#include "class_doc.hpp"

#include <string>

namespace zarnu::drawer {
namespace {

// How a form is spelled in an annotation.
const char* annotation_name(Form f) {
    switch (f) {
        case Form::State: return "State";
        case Form::Str: return "str";
        case Form::Int: return "int";
        case Form::Bool: return "bool";
        case Form::Dict: return "Dict";
        case Form::Callable: return "Callable";
        case Form::QWidget: return "QWidget";
        case Form::QWidgetList: return "List[QWidget]";
        case Form::None: return "None";
        case Form::Absent: break;
    }
    return "";
}

// `Optional[...]` around the other forms when None is one of them, `Union[...]` around several.
std::string spelled_annotation(const Param& p) {
    if (p.annotation) return p.annotation;
    std::string members;
    std::size_t n = 0;
    bool optional = false;
    for (std::size_t i = 0; i < form_count(p); i++) {
        if (p.forms[i] == Form::None) {
            optional = true;
            continue;
        }
        if (n++) members += ", ";
        members += annotation_name(p.forms[i]);
    }
    std::string text = n > 1 ? "Union[" + members + "]" : members;
    return optional ? "Optional[" + text + "]" : text;
}

// How a form is named in the class documentation.
const char* doc_name(Form f) {
    switch (f) {
        case Form::Str: return "str";
        case Form::Int: return "int";
        case Form::Bool: return "bool";
        case Form::Dict: return "dict";
        case Form::QWidgetList: return "list of QWidget";
        default: return annotation_name(f);
    }
}

// "a, b or State, optional": the forms in order with State last and None left out; "optional"
// unless the parameter is documented as required.
std::string documented_forms(const Param& p) {
    std::string text;
    if (p.doc_forms) {
        text = p.doc_forms;
    } else {
        const char* names[std::size(p.forms)];
        std::size_t n = 0;
        bool state = false;
        for (std::size_t i = 0; i < form_count(p); i++) {
            if (p.forms[i] == Form::State) state = true;
            else if (p.forms[i] != Form::None) names[n++] = doc_name(p.forms[i]);
        }
        if (state) names[n++] = doc_name(Form::State);
        for (std::size_t i = 0; i < n; i++) {
            if (i) text += i + 1 == n ? " or " : ", ";
            text += names[i];
        }
    }
    return p.required ? text : text + ", optional";
}

Ref default_value(const Default& d) {
    switch (d.kind) {
        case Default::Kind::None: return Ref::borrow(Py_None);
        case Default::Kind::False: return Ref::borrow(Py_False);
        case Default::Kind::Int: return Ref::steal(PyLong_FromLong(d.number));
        case Default::Kind::Str: return Ref::steal(PyUnicode_FromString(d.text));
    }
    return {};
}

}  // namespace

Ref param_defaults() {
    Ref defaults = Ref::steal(PyTuple_New(std::size(params)));
    if (!defaults) return {};
    for (std::size_t i = 0; i < std::size(params); i++) {
        Ref value = default_value(params[i].value);
        if (!value) return {};
        PyTuple_SET_ITEM(defaults.get(), i, value.release());
    }
    return defaults;
}

Ref param_annotations() {
    Ref annotations = Ref::steal(PyDict_New());
    if (!annotations) return {};
    for (const Param& p : params) {
        Ref text = Ref::steal(PyUnicode_FromString(spelled_annotation(p).c_str()));
        if (!text || PyDict_SetItemString(annotations.get(), p.name, text.get()) < 0) return {};
    }
    return annotations;
}

// "<name> : <forms>", then the description indented, and for a prop the note that a State is
// accepted.
Ref class_doc_text() {
    std::string text = class_doc_head;
    for (const Param& p : params) {
        text += p.name;
        text += " : ";
        text += documented_forms(p);
        text += "\n";
        for (std::string_view rest = p.doc; !rest.empty();) {
            std::size_t end = rest.find('\n');
            std::string_view line = rest.substr(0, end);
            text += "    ";
            text += line;
            text += "\n";
            rest = end == std::string_view::npos ? std::string_view() : rest.substr(end + 1);
        }
        if (p.prop) text += "    Can be a `State` object for dynamic updates.\n";
    }
    text += class_doc_tail;
    return Ref::steal(PyUnicode_FromStringAndSize(text.data(), static_cast<Py_ssize_t>(text.size())));
}

}  // namespace zarnu::drawer
