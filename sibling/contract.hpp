// What the drawer depends on outside its own module: the modules and names it imports, the
// attribute keys it reads from sibling objects and from the host application object, and the
// shapes of the calls it makes on them.  Everything here is reached by ordinary Python import
// and attribute lookup, so a host (or a test) may replace any of it.
#pragma once

#include <cstddef>
#include <iterator>

namespace zarnu::sibling {

struct Import {
    const char* module;  // as written in the import statement
    int level;           // 0: absolute; 2: relative to zarnu.material; 3: relative to zarnu
    const char* const* names;
    std::size_t count;
};

namespace detail {
inline constexpr const char* typing_names[] = {"Optional", "Union", "Dict", "Callable", "List"};
inline constexpr const char* uuid_names[] = {"uuid"};  // `import uuid`: the module itself
inline constexpr const char* widgets_names[] = {"QVBoxLayout", "QWidget",     "QApplication", "QFrame",
                                                "QHBoxLayout", "QSizePolicy", "QSplitter",    "QGraphicsDropShadowEffect"};
inline constexpr const char* core_names[] = {"Qt", "QPoint", "QEvent"};
inline constexpr const char* gui_names[] = {"QKeyEvent", "QColor"};
inline constexpr const char* button_names[] = {"Button"};
inline constexpr const char* typography_names[] = {"Typography"};
inline constexpr const char* stack_names[] = {"Stack"};
inline constexpr const char* styles_names[] = {"useTheme"};
inline constexpr const char* translation_names[] = {"translate", "i18n"};
inline constexpr const char* state_names[] = {"State"};
inline constexpr const char* qss_names[] = {"get_qss_style"};
inline constexpr const char* color_names[] = {"alpha"};
inline constexpr const char* assets_names[] = {"ZARNU_ASSETS"};
inline constexpr const char* validate_names[] = {"_validate_param"};
}  // namespace detail

#define ZARNU_IMPORT(mod, level, names) Import{mod, level, detail::names, std::size(detail::names)}

// The module's imports, in the order they run.  An entry with a null name list is a plain
// `import module` binding the module itself.
inline constexpr Import imports[] = {
    ZARNU_IMPORT("typing", 0, typing_names),
    Import{"uuid", 0, nullptr, 0},
    ZARNU_IMPORT("qtpy.QtWidgets", 0, widgets_names),
    ZARNU_IMPORT("qtpy.QtCore", 0, core_names),
    ZARNU_IMPORT("qtpy.QtGui", 0, gui_names),
    ZARNU_IMPORT("button", 2, button_names),
    ZARNU_IMPORT("typography", 2, typography_names),
    ZARNU_IMPORT("stack", 2, stack_names),
    ZARNU_IMPORT("zarnu.material.styles", 0, styles_names),
    ZARNU_IMPORT("zarnu.i18n.use_translation", 0, translation_names),
    ZARNU_IMPORT("zarnu.hooks.use_state", 0, state_names),
    ZARNU_IMPORT("zarnu.material.styles.create_theme.components.get_qss_styles", 0, qss_names),
    ZARNU_IMPORT("system.color_manipulator", 2, color_names),
    ZARNU_IMPORT("zarnu_assets", 3, assets_names),
    ZARNU_IMPORT("utils.validate_params", 2, validate_names),
};

#undef ZARNU_IMPORT

// Call shapes relied upon (all arguments positional):
//   State                      a class; instances have `.value` and `.valueChanged.connect(slot)`,
//                              the signal delivering exactly one argument (the new value)
//   useTheme()                 -> theme; theme.components["PyDrawer"].get("styles")["root"](ownerState)
//                              -> style dict; theme.signal.changed.connect(slot), delivering no argument
//   get_qss_style(style_dict)  -> the declarations of one rule body
//   i18n.langChanged.connect(slot), delivering no argument
//   _validate_param(file_path=, param_name=, supported_signatures=[, valid_values=])
//                              -> decorator; decorator(setter) -> what the class binds as the setter
//   QApplication.instance().mainWindow
//                              the host's main window widget (a plain attribute of the application)

// Attribute and method names read from sibling objects and from the host application object
// (interned once at import, used as `N.<name>`):
//   State:  value, valueChanged.connect          theme:  components, <entry>.get, signal.changed
//   i18n:   langChanged                           host:   QApplication.instance().mainWindow
#define ZARNU_SIBLING_NAMES(X) \
    X(value) X(valueChanged) X(connect) X(components) X(get) X(signal) X(changed) X(langChanged) X(instance) X(mainWindow)

// The file path given to the validation decorator factory: the package of the drawer.
inline constexpr const char* validation_file_path = "zarnu.material.drawer";

// Keys of the theme lookup `components["PyDrawer"].get("styles")["root"]`.
inline constexpr const char* theme_component = "PyDrawer";
inline constexpr const char* theme_styles = "styles";
inline constexpr const char* theme_root = "root";

}  // namespace zarnu::sibling
