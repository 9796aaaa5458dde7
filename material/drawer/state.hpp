// The module's state: the interned names and constants, the module namespace and its caches,
// the builtins taken at import, the function type, and what the binding workarounds and the
// desktop code keep. It belongs to the module object (PEP 489 module state: the module's state
// block holds it), is made zeroed by exec, filled by exec and by first uses, visited by
// `m_traverse`, and released by `m_clear` and `m_free`: it dies with the module. The module is
// initialised once per process, so it is kept alive until the interpreter exits (drawer.cpp) and
// goes, with its state, during the interpreter's finalisation.
//
// The methods reach it through one process-wide pointer, `module_state`, set by exec and cleared
// by `m_free`, so that the hot paths read their names and caches without a lookup per call. The
// module admits one interpreter and one live module object per process (the create slot refuses
// a second interpreter and hands back the live module), which is what makes that pointer name
// one state only; after a failed exec it names that module's state until the next exec or that
// module's `m_free`. No method can run once the state is gone: each function object holds its
// type, the type (made from the module) holds the module, and the module holds the state.
//
// The state block holds a pointer to the state rather than the state itself because the
// interpreter gives a module a new, empty block each time the create slot hands it back (an
// import after `del sys.modules[...]`): exec then moves the pointer into the new block and frees
// the old one, and the state stays where the methods' references into it point.
#pragma once

#include "desktop_state.hpp"
#include "names.hpp"

#include <cstdint>
#include <type_traits>

namespace zarnu {

// Names of the module namespace that the methods look up at each run.
enum class Global : int {
    QVBoxLayout, QWidget, QApplication, QFrame, QSizePolicy, QGraphicsDropShadowEffect, Qt, QPoint, QEvent,
    State, useTheme, i18n, get_qss_style, Callable,
    Count
};
inline constexpr int kGlobals = static_cast<int>(Global::Count);

// A module-namespace cache entry: a strong reference and the names epoch it was filled in.
struct GlobalEntry {
    PyObject* value;
    std::uint64_t epoch;
};

// `ModuleName.attr` for a class bound in the module namespace, cached until the namespace or
// the class (or its metaclass) changes.
struct ClassAttrCache {
    PyObject* cls;    // strong
    PyObject* value;  // strong
    std::uint64_t names_epoch;
    std::uint64_t type_epoch;
};

// `super().name` of one method: the attribute found after the owner in the MRO, for one type.
struct SuperCache {
    PyObject* type;   // strong
    PyObject* owner;  // strong
    PyObject* attr;   // strong: the unbound attribute found after the owner in the MRO
    std::uint64_t type_epoch;
};

// Whether `_PyType_Lookup(type, name)` gives an expected object, remembered for the last type
// asked while its version tag stands (operations.cpp).
struct LookupMemo {
    PyTypeObject* type;  // borrowed: only compared, with the tag that a change of the type renews
    unsigned int tag;
    bool same;
};

struct ModuleState {
    ModuleState** block;  // the module's state block that holds this state
    Names names;          // N
    Constants constants;  // C
    PyObject* function_type;  // the compiled function type, a heap type of the module

    // The module namespace (module_globals.cpp), watched for changes when a dict watcher is free.
    PyObject* module_dict;
    PyObject* global_keys[kGlobals];
    GlobalEntry global_cache[kGlobals];
    std::uint64_t names_epoch;  // moves on with any change of the module namespace
    int dict_watcher;           // valid while `has_dict_watcher`
    bool has_dict_watcher;
    bool names_watched;
    PyObject* builtin_super;
    PyObject* builtin_ValueError;

    // Changes of the types the caches read (type_watch.cpp).
    std::uint64_t type_epoch;  // moves on with any change of a watched type
    int type_watcher;          // valid while `has_type_watcher`
    bool has_type_watcher;

    // Per-prop names (props.cpp): tuples in parameter-table order, None for a non-prop.
    PyObject* prop_attrs;    // `_<prop>`
    PyObject* setter_names;  // `_set_<prop>`

    // The methods' caches.
    ClassAttrCache resize_type, move_type, press_type, release_type;  // event_filter.cpp
    SuperCache init_super, filter_super;                              // construction.cpp, event_filter.cpp
    PyObject* type_instancecheck;  // type.__instancecheck__ (operations.cpp)
    PyObject* object_class;        // object.__class__
    LookupMemo meta_memo, class_memo;

    // The binding's faults (binding_check.cpp).
    bool qt5;
    bool pyside_handle_fix;
    PyObject* kept_handles;  // dict: id of a weak reference to a drawer -> (that reference, the handle)
    PyObject* release_handle_fn;

    drawer::desktop::State desktop;
};

// Made as zeroed memory and released member by member (state.cpp).
static_assert(std::is_trivially_copyable_v<ModuleState>);

// The live module's state; null before exec and after `m_free`.
extern ModuleState* module_state;

// The state's names and constants, as the methods write them: `N.setGeometry`, `C.int0`. The
// pointer is named unqualified, so that a hot method may read it once into a local of the same
// name (`ModuleState* const module_state = zarnu::module_state;`) rather than after every call.
#define N (module_state->names)
#define C (module_state->constants)

// The module's `m_traverse`, `m_clear` and `m_free` for the state (null before exec has begun).
// Clearing drops what may take part in a reference cycle (the namespace, the function type,
// the caches) and keeps the names and constants, which cannot, for a method still running
// while the collector breaks a cycle; freeing releases everything and closes the X connection.
// `state_free` also frees the state itself.
int state_traverse(ModuleState* s, visitproc visit, void* arg);
void state_clear(ModuleState* s);
void state_free(ModuleState* s);

}  // namespace zarnu
