"""Validation of the values given to the prop setters of the widgets."""

import collections.abc
import functools
import reprlib
import types
import typing

__all__ = ["_validate_param"]

_NoneType = type(None)

_repr = reprlib.Repr()
_repr.maxstring = 80
_repr.maxother = 80
_repr.maxlevel = 2


def _short_repr(value):
    try:
        return _repr.repr(value)
    except Exception:
        return f"<{type(value).__name__} object>"


def _members(signatures):
    """The members of a Union (or the single type given)."""
    if signatures is None:
        return (_NoneType,)
    origin = typing.get_origin(signatures)
    if origin is typing.Union or isinstance(signatures, types.UnionType):
        return typing.get_args(signatures)
    return (signatures,)


def _form_name(member):
    if member is _NoneType:
        return "None"
    if member is typing.Any:
        return "Any"
    if isinstance(member, type):
        return member.__name__
    return repr(member).replace("typing.", "").replace("collections.abc.", "")


class _Checker:
    """Precomputed acceptance test for the members of one Union."""

    def __init__(self, members):
        classes = []
        self.any = False
        self.int = False
        self.callable = False
        self.literals = ()
        for member in members:
            if member is typing.Any or member is object:
                self.any = True
            elif member is int:
                self.int = True
            elif isinstance(member, type):
                if member is collections.abc.Callable:
                    self.callable = True
                else:
                    classes.append(member)
            elif typing.get_origin(member) is typing.Literal:
                self.literals += typing.get_args(member)
            else:
                origin = typing.get_origin(member)
                if origin is collections.abc.Callable:
                    self.callable = True
                elif isinstance(origin, type):
                    classes.append(origin)
                else:
                    raise TypeError(f"unsupported member {member!r} in the accepted forms")
        self.classes = tuple(classes)

    def accepts(self, value):
        if self.any or isinstance(value, self.classes):
            return True
        if self.int and isinstance(value, int) and not isinstance(value, bool):
            return True
        if self.callable and callable(value):
            return True
        for literal in self.literals:
            if type(value) is type(literal) and value == literal:
                return True
        return False


def _validate_param(file_path, param_name, supported_signatures, valid_values=None):
    """Return a decorator validating the value given to a prop setter.

    The decorated setter is called as ``setter(self, value)``. A value is
    accepted when it has one of the forms of ``supported_signatures`` (a
    ``typing.Union`` or a single type); a plain ``str`` must also be one of
    ``valid_values`` when that is given. ``valid_values`` is kept by
    reference, so entries added to it later are accepted too.

    Rejected values raise ``TypeError`` (wrong form) or ``ValueError`` (a
    string that is not a valid value). Accepted values, a State included,
    reach the setter unchanged.
    """
    members = _members(supported_signatures)
    checker = _Checker(members)
    forms = ", ".join(_form_name(m) for m in members)

    def reject_form(value):
        return TypeError(
            f"{file_path}: invalid value for prop '{param_name}': "
            f"{_short_repr(value)} (type {type(value).__name__}); "
            f"accepted forms: {forms}"
        )

    def reject_value(value):
        return ValueError(
            f"{file_path}: invalid value for prop '{param_name}': "
            f"{_short_repr(value)}; valid values: "
            f"{', '.join(map(_short_repr, valid_values))}"
        )

    def decorator(setter):
        if not callable(setter):
            raise TypeError(f"_validate_param() decorates a callable, not {setter!r}")

        @functools.wraps(setter)
        def wrapper(self, value):
            if not checker.accepts(value):
                raise reject_form(value)
            if valid_values is not None and isinstance(value, str) and value not in valid_values:
                raise reject_value(value)
            return setter(self, value)

        wrapper.file_path = file_path
        wrapper.param_name = param_name
        wrapper.supported_signatures = supported_signatures
        wrapper.valid_values = valid_values
        return wrapper

    return decorator
