/*
 * Bench-only helper: the cost floor of the drawer's event filter.
 *
 * Every implementation of Drawer.eventFilter has to make a minimum set of
 * calls into the Qt binding for each event: read event.type() (four times
 * for an event that is neither a resize/move nor a mouse press/release) and
 * chain to QSplitter.eventFilter(self, source, event). The loops below make
 * exactly those calls from C, with interned method names and the base method
 * resolved once, so that (time of an implementation) - (time of the floor)
 * is the overhead the implementation adds on top of what it cannot avoid.
 *
 * Functions:
 *   event_filter_floor(filter_obj, source, event, n)
 *       n x { event.type() x4; QSplitter.eventFilter(filter_obj, source, event) }
 *   resize_floor(drawer, source, event, n, point_type)
 *       n x the calls a visible drawer must make for a resize of its anchor,
 *       with the attribute reads the algorithm prescribes (each one goes
 *       through the binding's attribute lookup): event.type(),
 *       source == drawer._anchorEl, drawer.isVisible(), the look-up of
 *       drawer.update_position (not its call), then that method's body:
 *       bool(drawer._anchorEl), drawer.setMinimumSize(0, 0),
 *       drawer._anchorEl.mapToGlobal(QPoint(0, 0)),
 *       pos.x(), pos.y(), drawer._anchorEl.width(), drawer._anchorEl.height(),
 *       drawer.setGeometry(x, y, w, h); event.type() x2, the base eventFilter.
 *       (The anchor is already stored on this path, so the application/
 *       mainWindow lookup of the first placement is not made.)
 *   repeat_call(func, args, n)
 *       calls func(*args) n times from C and drops the results: a driver
 *       without Python loop overhead for timing any callable.
 *   count_call(label, func, args, n)
 *       under callgrind: zeroes the instruction counters, calls func(*args)
 *       n times from C and dumps the counters as `label` (one callgrind
 *       output file per call; bench/counts.py reads them). Needs valgrind's
 *       header at build time; running_on_valgrind() says whether it can count.
 *   event_filter_method
 *       a C method (self, source, event) that makes the event_filter_floor
 *       calls once and returns the base result; assigned as `eventFilter` of
 *       a QSplitter subclass it is the floor of Qt's dispatch into a
 *       Python-level event filter.
 */
#define PY_SSIZE_T_CLEAN
#include <Python.h>

#ifdef HAVE_CALLGRIND_H
#include <valgrind/callgrind.h>
#endif

static PyObject *s_type;       /* "type" */
static PyObject *s_isVisible;  /* "isVisible" */
static PyObject *s_mapToGlobal;
static PyObject *s_x;
static PyObject *s_y;
static PyObject *s_width;
static PyObject *s_height;
static PyObject *s_setGeometry;
static PyObject *s_setMinimumSize;
static PyObject *s_anchorEl;
static PyObject *s_update_position;
static PyObject *zero;         /* the int 0 */
static PyObject *base_event_filter; /* QSplitter.eventFilter, resolved once */
static unsigned long long method_calls; /* calls of event_filter_method */

static PyObject *
get_base_event_filter(void)
{
    if (base_event_filter == NULL) {
        PyObject *mod = PyImport_ImportModule("qtpy.QtWidgets");
        if (mod == NULL)
            return NULL;
        PyObject *splitter = PyObject_GetAttrString(mod, "QSplitter");
        Py_DECREF(mod);
        if (splitter == NULL)
            return NULL;
        base_event_filter = PyObject_GetAttrString(splitter, "eventFilter");
        Py_DECREF(splitter);
    }
    return base_event_filter;
}

static inline int
call_method0_drop(PyObject *obj, PyObject *name)
{
    PyObject *r = PyObject_VectorcallMethod(name, &obj, 1 | PY_VECTORCALL_ARGUMENTS_OFFSET, NULL);
    if (r == NULL)
        return -1;
    Py_DECREF(r);
    return 0;
}

static inline PyObject *
call_base(PyObject *base, PyObject *filter_obj, PyObject *source, PyObject *event)
{
    PyObject *args[3] = {filter_obj, source, event};
    return PyObject_Vectorcall(base, args, 3, NULL);
}

/* one ordinary event: type() four times, then the base class's filter */
static inline PyObject *
ordinary_once(PyObject *base, PyObject *filter_obj, PyObject *source, PyObject *event)
{
    for (int k = 0; k < 4; k++) {
        if (call_method0_drop(event, s_type) < 0)
            return NULL;
    }
    return call_base(base, filter_obj, source, event);
}

static PyObject *
event_filter_floor(PyObject *module, PyObject *const *args, Py_ssize_t nargs)
{
    if (nargs != 4) {
        PyErr_SetString(PyExc_TypeError, "event_filter_floor(filter_obj, source, event, n)");
        return NULL;
    }
    Py_ssize_t n = PyLong_AsSsize_t(args[3]);
    if (n == -1 && PyErr_Occurred())
        return NULL;
    PyObject *base = get_base_event_filter();
    if (base == NULL)
        return NULL;
    for (Py_ssize_t i = 0; i < n; i++) {
        PyObject *r = ordinary_once(base, args[0], args[1], args[2]);
        if (r == NULL)
            return NULL;
        Py_DECREF(r);
    }
    Py_RETURN_NONE;
}

/* new reference to drawer._anchorEl, read as every implementation reads it */
static inline PyObject *
anchor_of(PyObject *drawer)
{
    return PyObject_GetAttr(drawer, s_anchorEl);
}

static inline int
call_on_anchor_drop(PyObject *drawer, PyObject *name, PyObject **result)
{
    PyObject *anchor = anchor_of(drawer);
    if (anchor == NULL)
        return -1;
    *result = PyObject_VectorcallMethod(name, &anchor, 1 | PY_VECTORCALL_ARGUMENTS_OFFSET, NULL);
    Py_DECREF(anchor);
    return *result == NULL ? -1 : 0;
}

static PyObject *
resize_floor(PyObject *module, PyObject *const *args, Py_ssize_t nargs)
{
    if (nargs != 5) {
        PyErr_SetString(PyExc_TypeError, "resize_floor(drawer, source, event, n, point_type)");
        return NULL;
    }
    PyObject *drawer = args[0], *source = args[1], *event = args[2], *point_type = args[4];
    Py_ssize_t n = PyLong_AsSsize_t(args[3]);
    if (n == -1 && PyErr_Occurred())
        return NULL;
    PyObject *base = get_base_event_filter();
    if (base == NULL)
        return NULL;
    for (Py_ssize_t i = 0; i < n; i++) {
        /* placement test: type() == Resize succeeds, so Move is not read */
        if (call_method0_drop(event, s_type) < 0)
            return NULL;
        PyObject *anchor = anchor_of(drawer);
        if (anchor == NULL)
            return NULL;
        PyObject *cmp = PyObject_RichCompare(source, anchor, Py_EQ);
        Py_DECREF(anchor);
        if (cmp == NULL)
            return NULL;
        int eq = PyObject_IsTrue(cmp);
        Py_DECREF(cmp);
        if (eq < 0)
            return NULL;
        if (call_method0_drop(drawer, s_isVisible) < 0)
            return NULL;
        /* update_position is looked up on the drawer (calling it is the implementation's
         * own work); its body: the emptiness test of the anchor, then the placement */
        PyObject *method = PyObject_GetAttr(drawer, s_update_position);
        if (method == NULL)
            return NULL;
        Py_DECREF(method);
        anchor = anchor_of(drawer);
        if (anchor == NULL)
            return NULL;
        int full = PyObject_IsTrue(anchor);
        if (full < 0) {
            Py_DECREF(anchor);
            return NULL;
        }
        PyObject *sargs[3] = {drawer, zero, zero};
        PyObject *lifted = PyObject_VectorcallMethod(s_setMinimumSize, sargs, 3 | PY_VECTORCALL_ARGUMENTS_OFFSET, NULL);
        if (lifted == NULL) {
            Py_DECREF(anchor);
            return NULL;
        }
        Py_DECREF(lifted);
        PyObject *pargs[2] = {zero, zero};
        PyObject *origin = PyObject_Vectorcall(point_type, pargs, 2, NULL);
        if (origin == NULL) {
            Py_DECREF(anchor);
            return NULL;
        }
        Py_DECREF(anchor);
        anchor = anchor_of(drawer);
        if (anchor == NULL) {
            Py_DECREF(origin);
            return NULL;
        }
        PyObject *margs[2] = {anchor, origin};
        PyObject *pos = PyObject_VectorcallMethod(s_mapToGlobal, margs, 2 | PY_VECTORCALL_ARGUMENTS_OFFSET, NULL);
        Py_DECREF(anchor);
        Py_DECREF(origin);
        if (pos == NULL)
            return NULL;
        PyObject *x = PyObject_VectorcallMethod(s_x, &pos, 1 | PY_VECTORCALL_ARGUMENTS_OFFSET, NULL);
        PyObject *y = x ? PyObject_VectorcallMethod(s_y, &pos, 1 | PY_VECTORCALL_ARGUMENTS_OFFSET, NULL) : NULL;
        PyObject *w = NULL, *h = NULL;
        if (y)
            call_on_anchor_drop(drawer, s_width, &w);
        if (w)
            call_on_anchor_drop(drawer, s_height, &h);
        PyObject *r = NULL;
        if (h) {
            PyObject *gargs[5] = {drawer, x, y, w, h};
            r = PyObject_VectorcallMethod(s_setGeometry, gargs, 5 | PY_VECTORCALL_ARGUMENTS_OFFSET, NULL);
        }
        Py_DECREF(pos);
        Py_XDECREF(x);
        Py_XDECREF(y);
        Py_XDECREF(w);
        Py_XDECREF(h);
        if (r == NULL)
            return NULL;
        Py_DECREF(r);
        /* drag tracking: neither press nor release */
        if (call_method0_drop(event, s_type) < 0 || call_method0_drop(event, s_type) < 0)
            return NULL;
        r = call_base(base, drawer, source, event);
        if (r == NULL)
            return NULL;
        Py_DECREF(r);
    }
    Py_RETURN_NONE;
}

/* func(*argtuple) n times from C, the results dropped: 0, or -1 with an exception set */
static int
call_n(PyObject *func, PyObject *argtuple, Py_ssize_t n)
{
    Py_ssize_t argc = PyTuple_GET_SIZE(argtuple);
    if (argc > 8) {
        PyErr_SetString(PyExc_ValueError, "at most 8 arguments");
        return -1;
    }
    PyObject *stack[9];
    stack[0] = NULL;
    for (Py_ssize_t k = 0; k < argc; k++)
        stack[k + 1] = PyTuple_GET_ITEM(argtuple, k);
    for (Py_ssize_t i = 0; i < n; i++) {
        PyObject *r = PyObject_Vectorcall(func, stack + 1, argc | PY_VECTORCALL_ARGUMENTS_OFFSET, NULL);
        if (r == NULL)
            return -1;
        Py_DECREF(r);
    }
    return 0;
}

static PyObject *
repeat_call(PyObject *module, PyObject *const *args, Py_ssize_t nargs)
{
    if (nargs != 3 || !PyTuple_Check(args[1])) {
        PyErr_SetString(PyExc_TypeError, "repeat_call(func, args: tuple, n)");
        return NULL;
    }
    Py_ssize_t n = PyLong_AsSsize_t(args[2]);
    if ((n == -1 && PyErr_Occurred()) || call_n(args[0], args[1], n) < 0)
        return NULL;
    Py_RETURN_NONE;
}

static PyObject *
count_call(PyObject *module, PyObject *const *args, Py_ssize_t nargs)
{
    if (nargs != 4 || !PyUnicode_Check(args[0]) || !PyTuple_Check(args[2])) {
        PyErr_SetString(PyExc_TypeError, "count_call(label: str, func, args: tuple, n)");
        return NULL;
    }
#ifndef HAVE_CALLGRIND_H
    PyErr_SetString(PyExc_RuntimeError, "count_call: built without valgrind/callgrind.h");
    return NULL;
#else
    const char *label = PyUnicode_AsUTF8(args[0]);
    if (label == NULL)
        return NULL;
    Py_ssize_t n = PyLong_AsSsize_t(args[3]);
    if (n == -1 && PyErr_Occurred())
        return NULL;
    CALLGRIND_START_INSTRUMENTATION;
    CALLGRIND_ZERO_STATS;
    if (call_n(args[1], args[2], n) < 0)
        return NULL;
    CALLGRIND_DUMP_STATS_AT(label);
    Py_RETURN_NONE;
#endif
}

/* whether count_call can count: built with the header and running under valgrind */
static PyObject *
running_on_valgrind(PyObject *module, PyObject *unused)
{
#ifdef HAVE_CALLGRIND_H
    return PyBool_FromLong(RUNNING_ON_VALGRIND != 0);
#else
    Py_RETURN_FALSE;
#endif
}

/* method eventFilter(self, source, event) -> base result, for the floor's
 * own QSplitter subclass (see floor_exec for how it is bound) */
static PyObject *
event_filter_once(PyObject *self, PyObject *const *args, Py_ssize_t nargs)
{
    if (nargs != 2) {
        PyErr_SetString(PyExc_TypeError, "eventFilter(source, event)");
        return NULL;
    }
    PyObject *base = get_base_event_filter();
    if (base == NULL)
        return NULL;
    method_calls++;
    return ordinary_once(base, self, args[0], args[1]);
}

static PyObject *
method_call_count(PyObject *module, PyObject *unused)
{
    return PyLong_FromUnsignedLongLong(method_calls);
}

static PyMethodDef floor_methods[] = {
    {"method_call_count", method_call_count, METH_NOARGS,
     "how often event_filter_method has run (to check that Qt dispatches to it)"},
    {"event_filter_floor", (PyCFunction)(void (*)(void))event_filter_floor, METH_FASTCALL,
     "event_filter_floor(filter_obj, source, event, n)"},
    {"resize_floor", (PyCFunction)(void (*)(void))resize_floor, METH_FASTCALL,
     "resize_floor(drawer, source, event, n, point_type)"},
    {"repeat_call", (PyCFunction)(void (*)(void))repeat_call, METH_FASTCALL,
     "repeat_call(func, args, n)"},
    {"count_call", (PyCFunction)(void (*)(void))count_call, METH_FASTCALL,
     "count_call(label, func, args, n): instruction counts under callgrind"},
    {"running_on_valgrind", running_on_valgrind, METH_NOARGS,
     "whether count_call can count in this process"},
    {NULL, NULL, 0, NULL},
};

static PyMethodDef event_filter_once_def = {
    "eventFilter", (PyCFunction)(void (*)(void))event_filter_once, METH_FASTCALL,
    "eventFilter(source, event): the floor calls for one ordinary event"};

static int
floor_exec(PyObject *m)
{
#define INTERN(var, text)                                  \
    if ((var = PyUnicode_InternFromString(text)) == NULL)  \
        return -1;
    INTERN(s_type, "type");
    INTERN(s_isVisible, "isVisible");
    INTERN(s_mapToGlobal, "mapToGlobal");
    INTERN(s_x, "x");
    INTERN(s_y, "y");
    INTERN(s_width, "width");
    INTERN(s_height, "height");
    INTERN(s_setGeometry, "setGeometry");
    INTERN(s_setMinimumSize, "setMinimumSize");
    INTERN(s_anchorEl, "_anchorEl");
    INTERN(s_update_position, "update_position");
#undef INTERN
    if ((zero = PyLong_FromLong(0)) == NULL)
        return -1;
    /* A method descriptor (binds like a method of `object`) inside an
     * instancemethod: looked up on an instance it yields an ordinary bound
     * method whose __func__ has a __get__, which is what the binding's
     * override dispatch expects of a Python-level eventFilter. */
    PyObject *func = PyDescr_NewMethod(&PyBaseObject_Type, &event_filter_once_def);
    if (func == NULL)
        return -1;
    PyObject *method = PyInstanceMethod_New(func);
    Py_DECREF(func);
    if (method == NULL)
        return -1;
    if (PyModule_AddObjectRef(m, "event_filter_method", method) < 0) {
        Py_DECREF(method);
        return -1;
    }
    Py_DECREF(method);
    return 0;
}

static PyModuleDef_Slot floor_slots[] = {
    {Py_mod_exec, floor_exec},
    {0, NULL},
};

static struct PyModuleDef floor_module = {
    PyModuleDef_HEAD_INIT, "floor", "Bench-only cost floor of the drawer's event filter.", 0,
    floor_methods, floor_slots, NULL, NULL, NULL,
};

PyMODINIT_FUNC
PyInit_floor(void)
{
    return PyModuleDef_Init(&floor_module);
}
