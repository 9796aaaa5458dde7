#include "names.hpp"

namespace zarnu {

int names_init(Names& names, Constants& c) {
#define ZARNU_INTERN_NAME(n) \
    if (!(names.n = PyUnicode_InternFromString(#n))) return -1;
    ZARNU_NAMES(ZARNU_INTERN_NAME)
    ZARNU_SIBLING_NAMES(ZARNU_INTERN_NAME)
#undef ZARNU_INTERN_NAME

    struct {
        PyObject** slot;
        const char* text;
    } strings[] = {
        {&c.anchor, "anchor"}, {&c.variant, "variant"}, {&c.left, "left"}, {&c.right, "right"},
        {&c.top, "top"}, {&c.bottom, "bottom"}, {&c.PyDrawer, sibling::theme_component}, {&c.contentFrame, "contentFrame"},
        {&c.transparent, "background-color: transparent;"}, {&c.styles, sibling::theme_styles}, {&c.root, sibling::theme_root},
        {&c.empty, ""},
    };
    for (auto& s : strings)
        if (!(*s.slot = PyUnicode_InternFromString(s.text))) return -1;
    if (!(c.int0 = PyLong_FromLong(0)) || !(c.int1 = PyLong_FromLong(1)) || !(c.int50 = PyLong_FromLong(50)) ||
        !(c.int50000 = PyLong_FromLong(50000)))
        return -1;

    return 0;
}

}  // namespace zarnu
