"""Turn a style dict (camelCase keys) into the declarations of one QSS rule."""

import math
import re

__all__ = ["get_qss_style", "to_kebab_case"]

_UPPER = re.compile(r"(?<!^)(?=[A-Z])")

# Properties whose plain numbers mean pixels.
_LENGTH = re.compile(
    r"^(?:"
    r"(?:min-|max-)?(?:width|height)"
    r"|(?:margin|padding)(?:-(?:top|right|bottom|left))?"
    r"|border(?:-(?:top|right|bottom|left))?-width"
    r"|border(?:-(?:top|bottom)-(?:left|right))?-radius"
    r"|outline(?:-width|-radius|-offset)"
    r"|top|right|bottom|left"
    r"|font-size|spacing|icon-size|letter-spacing|word-spacing"
    r")$"
)


def to_kebab_case(name):
    """``borderTopLeftRadius`` -> ``border-top-left-radius``; kebab names stay."""
    return _UPPER.sub("-", name).lower()


def _number(prop, value, is_length):
    if isinstance(value, float):
        if not math.isfinite(value):
            raise ValueError(f"style '{prop}': {value!r} is not a finite number")
        text = str(int(value)) if value.is_integer() else repr(value)
    else:
        text = str(value)
    return text + "px" if is_length else text


def _value_text(prop, value, is_length):
    if isinstance(value, bool):
        raise TypeError(f"style '{prop}': a bool ({value!r}) is not a QSS value")
    if isinstance(value, (int, float)):
        return _number(prop, value, is_length)
    if isinstance(value, str):
        return value.strip().rstrip(";").rstrip()
    if isinstance(value, (list, tuple)):
        # Shorthands such as padding: [4, 8] -> "4px 8px".
        return " ".join(_value_text(prop, item, is_length) for item in value)
    if isinstance(value, dict):
        raise ValueError(
            f"style '{prop}': nested style blocks (sub-selectors) are not "
            "supported; give only declarations of one rule"
        )
    raise TypeError(
        f"style '{prop}': unsupported value {value!r} of type {type(value).__name__}"
    )


def get_qss_style(style):
    """Return the body of one QSS rule, without selector or braces.

    Keys are converted from camelCase to kebab-case. Plain numbers become
    pixel lengths for the properties that take a length ("8px"), and stay
    unitless otherwise. Lists and tuples are joined with spaces. ``None`` and
    empty strings are skipped. Nested dicts (sub-selectors) are rejected with
    ``ValueError``.

    >>> get_qss_style({"backgroundColor": "white", "padding": 8})
    'background-color: white; padding: 8px;'
    """
    if not isinstance(style, dict):
        raise TypeError(
            f"get_qss_style() expects a dict, not {type(style).__name__}"
        )
    declarations = []
    for key, value in style.items():
        if not isinstance(key, str):
            raise TypeError(f"style keys must be strings, not {key!r}")
        if value is None:
            continue
        prop = to_kebab_case(key.strip())
        text = _value_text(prop, value, bool(_LENGTH.match(prop)))
        if text:
            declarations.append(f"{prop}: {text};")
    return " ".join(declarations)
