#include "names.hpp"

namespace zarnu {

Names N;
Constants C;

int names_init() {
    static bool ready = false;
    if (ready) return 0;
#define ZARNU_INTERN_NAME(n) \
    if (!(N.n = PyUnicode_InternFromString(#n))) return -1;
    ZARNU_NAMES(ZARNU_INTERN_NAME)
    ZARNU_SIBLING_NAMES(ZARNU_INTERN_NAME)
#undef ZARNU_INTERN_NAME

    struct {
        PyObject** slot;
        const char* text;
    } strings[] = {
        {&C.anchor, "anchor"}, {&C.variant, "variant"}, {&C.left, "left"}, {&C.right, "right"},
        {&C.top, "top"}, {&C.bottom, "bottom"}, {&C.PyDrawer, sibling::theme_component}, {&C.contentFrame, "contentFrame"},
        {&C.transparent, "background-color: transparent;"}, {&C.styles, sibling::theme_styles}, {&C.root, sibling::theme_root},
        {&C.empty, ""},
    };
    for (auto& s : strings)
        if (!(*s.slot = PyUnicode_InternFromString(s.text))) return -1;
    if (!(C.int0 = PyLong_FromLong(0)) || !(C.int1 = PyLong_FromLong(1)) || !(C.int50 = PyLong_FromLong(50)) ||
        !(C.int50000 = PyLong_FromLong(50000)))
        return -1;

    ready = true;
    return 0;
}

}  // namespace zarnu
