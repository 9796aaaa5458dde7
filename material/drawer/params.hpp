// The constructor's parameters, one record each: name, accepted forms (from which the
// annotation and the validation decorator's `Union` are spelled), default, valid values,
// how the constructor stores it, and its documentation. The parameter list, `__defaults__`,
// `__annotations__`, the prop accessors, the decorator metadata and the parameter lines of the
// class documentation are all read from this table, and nothing else in the module lists the
// parameters (tests/test_stubs.py holds the stub to what the module exposes).
#pragma once

#include "runtime.hpp"

#include <array>
#include <cstdint>
#include <iterator>
#include <span>
#include <string_view>

namespace zarnu::drawer {

// The forms a parameter accepts, in the order its annotation and its `typing.Union` name them.
// `Absent` ends a shorter list.
enum class Form : std::uint8_t { Absent, State, Str, Int, Bool, Dict, Callable, QWidget, QWidgetList, None };

// The default of a parameter in the signature.
struct Default {
    enum class Kind : std::uint8_t { None, False, Int, Str } kind = Kind::None;
    long number = 0;
    const char* text = nullptr;
};
inline constexpr Default none_default{};
inline constexpr Default false_default{Default::Kind::False};
constexpr Default int_default(long n) { return {Default::Kind::Int, n, nullptr}; }
constexpr Default str_default(const char* s) { return {Default::Kind::Str, 0, s}; }

// A list of valid strings, bound as a class attribute and handed to the decorator as `valid_values`.
struct ValidValues {
    const char* attr;
    std::span<const char* const> values;
};
inline constexpr const char* anchor_values[] = {"bottom", "left", "right", "top"};
inline constexpr const char* variant_values[] = {"permanent", "persistent", "temporary"};
inline constexpr ValidValues valid_anchor{"VALID_ANCHOR", anchor_values};
inline constexpr ValidValues valid_variant{"VALID_VARIANT", variant_values};
// In the order the class binds them.
inline constexpr const ValidValues* valid_value_lists[] = {&valid_anchor, &valid_variant};

// What the constructor does with the value given for a prop.
enum class Stored : std::uint8_t {
    AsGiven,           // passed to the setter
    NewDictWhenFalse,  // passed to the setter, a false value replaced by a new empty dict
    Never,             // accepted and ignored
};

struct Param {
    const char* name;
    Form forms[5];
    Default value;
    bool prop = true;       // has a setter and a getter, is stored (parent is only handed to Qt)
    bool validated = true;  // the setter is wrapped by the validation decorator
    bool custom = false;    // the setter's doc string says "(custom feature)"
    const ValidValues* valid = nullptr;
    Stored stored = Stored::AsGiven;
    PyObject* Names::* limit = nullptr;  // attribute (a name of `N`) that also receives the given value
    const char* annotation = nullptr;  // when the annotation is not the one the forms spell
    const char* setter_doc = nullptr;  // when not "Assign value to <name>[ (custom feature)]."
    bool required = false;             // documented as required rather than optional
    const char* doc_forms = nullptr;   // when the documented forms are not the accepted ones, in order
    const char* doc;                   // class documentation: the description, one line each
};

using F = Form;  // short, for the table

inline constexpr Param params[] = {
    {.name = "parent", .forms = {F::QWidget, F::None}, .value = none_default, .prop = false, .validated = false,
     .doc = "The Qt parent of the drawer. Default: None."},
    {.name = "title", .forms = {F::State, F::Str, F::Callable}, .value = str_default("Drawer"), .custom = true,
     // Annotated as optional although the setter's validation refuses None.
     .annotation = "Optional[Union[State, str, Callable]]",
     .doc = "The drawer's title. It is stored and returned by `_get_title`; no widget shows it.\n"
            "Default: \"Drawer\"."},
    {.name = "anchor", .forms = {F::State, F::Str}, .value = str_default("right"), .valid = &valid_anchor,
     .doc = "The side the panel sits on: one of \"bottom\", \"left\", \"right\", \"top\".\n"
            "Default: \"right\"."},
    {.name = "anchorEl", .forms = {F::State, F::QWidget, F::None}, .value = none_default, .custom = true,
     .doc = "The widget the drawer window covers and follows. Default: None, which means the\n"
            "application's main window (`QApplication.instance().mainWindow`)."},
    {.name = "children", .forms = {F::State, F::QWidget, F::QWidgetList, F::None}, .value = none_default,
     .validated = false, .setter_doc = "Assign value to children and store widget references.",
     .doc = "The widgets stacked top to bottom in the content panel. Default: None."},
    {.name = "classes", .forms = {F::State, F::Dict, F::None}, .value = none_default,
     .doc = "Style classes of the component. Default: None."},
    {.name = "elevation", .forms = {F::State, F::Int}, .value = int_default(16),
     .doc = "The elevation of the panel. Default: 16."},
    {.name = "hideBackdrop", .forms = {F::State, F::Bool}, .value = false_default,
     .doc = "Whether the backdrop is hidden. Default: False."},
    {.name = "ModalProps", .forms = {F::State, F::Dict, F::None}, .value = none_default,
     .stored = Stored::NewDictWhenFalse, .doc = "Props of the modal layer. Default: a new empty dict."},
    {.name = "onClose", .forms = {F::State, F::Callable, F::None}, .value = none_default,
     .doc = "Called with no arguments after `_close` has hidden the drawer. Default: None."},
    // A plain bool passes the setter but not the widget tree: documented as a State only.
    {.name = "open", .forms = {F::State, F::Bool}, .value = false_default, .required = true, .doc_forms = "State",
     .doc = "Drives the drawer: a change to a true value opens a hidden drawer (and hides a\n"
            "visible one), a change to a false value hides it. Required: a plain bool, the\n"
            "default False included, is refused when the widget tree is built."},
    {.name = "PaperProps", .forms = {F::State, F::Dict, F::None}, .value = none_default,
     .stored = Stored::NewDictWhenFalse, .doc = "Props of the panel. Default: a new empty dict."},
    {.name = "SlideProps", .forms = {F::State, F::Dict, F::None}, .value = none_default,
     .stored = Stored::NewDictWhenFalse, .doc = "Props of the slide transition. Default: a new empty dict."},
    {.name = "slotProps", .forms = {F::State, F::Dict, F::None}, .value = none_default,
     .stored = Stored::NewDictWhenFalse, .doc = "Props of the component's slots. Default: a new empty dict."},
    {.name = "slots", .forms = {F::State, F::Dict, F::None}, .value = none_default,
     .stored = Stored::NewDictWhenFalse, .doc = "The component's slots. Default: a new empty dict."},
    // Documented with the text forms first.
    {.name = "sx", .forms = {F::State, F::Dict, F::Callable, F::Str, F::None}, .value = none_default,
     .doc_forms = "dict, str, Callable or State",
     .doc = "Extra style declarations of the drawer: a dict of style properties, QSS text, or a\n"
            "callable returning either. Default: None."},
    {.name = "transitionDuration", .forms = {F::State, F::Int, F::Dict, F::None}, .value = none_default,
     .stored = Stored::Never,
     .doc = "Accepted for compatibility and not stored by the constructor; set it with\n"
            "`_set_transitionDuration`. Default: None."},
    {.name = "variant", .forms = {F::State, F::Str, F::None}, .value = str_default("temporary"),
     .valid = &valid_variant, .doc = "One of \"permanent\", \"persistent\", \"temporary\". Default: \"temporary\"."},
    {.name = "minWidth", .forms = {F::State, F::Int, F::None}, .value = none_default, .custom = true,
     .limit = &Names::drawerMinWidth, .required = true,
     .doc = "The panel's initial size along the splitter (for every anchor) and, for \"right\",\n"
            "its minimum width. Required as an integer for the four anchors. Default: None."},
    {.name = "maxWidth", .forms = {F::State, F::Int, F::None}, .value = none_default, .custom = true,
     .limit = &Names::drawerMaxWidth, .doc = "The panel's maximum width for the \"right\" anchor. Default: None."},
    {.name = "minHeight", .forms = {F::State, F::Int, F::None}, .value = none_default, .custom = true,
     .limit = &Names::drawerMinHeight,
     .doc = "The panel's minimum height for the \"top\" and \"bottom\" anchors. Default: None."},
    {.name = "maxHeight", .forms = {F::State, F::Int, F::None}, .value = none_default, .custom = true,
     .limit = &Names::drawerMaxHeight,
     .doc = "The panel's maximum height for the \"top\" and \"bottom\" anchors. Default: None."},
};

// The parameter slot of `params[i]` in the constructor's parameters (`self` is slot 0).
constexpr std::size_t slot_of(std::size_t i) { return i + 1; }

// The Qt parent comes first: the constructor hands it to the base class.
static_assert(std::string_view(params[0].name) == "parent" && !params[0].prop);

constexpr std::size_t form_count(const Param& p) {
    std::size_t n = 0;
    while (n < std::size(p.forms) && p.forms[n] != Form::Absent) n++;
    return n;
}

// The constructor's named parameters: `self`, then the table's.
inline constexpr auto init_param_names = [] {
    std::array<const char*, std::size(params) + 1> names{"self"};
    for (std::size_t i = 0; i < std::size(params); i++) names[slot_of(i)] = params[i].name;
    return names;
}();

// `__defaults__` of the constructor: one per parameter, in order.
Ref param_defaults();

// `__annotations__` of the constructor: the annotation text of each parameter, in order.
Ref param_annotations();

// The class documentation: its opening, the table's parameter lines, and its closing sections.
Ref class_doc_text();

}  // namespace zarnu::drawer
