"""Theme entry of the drawer component ("PyDrawer")."""

from zarnu.hooks.use_state import unwrap

__all__ = ["py_drawer_component"]

# Variants that leave the rest of the window undimmed.
_NO_BACKDROP = ("persistent", "permanent")


def py_drawer_component(palette):
    """Return the ``components["PyDrawer"]`` entry for ``palette``."""

    def root(ownerState):
        # Props reach the theme as given, so a value may still be a State.
        variant = unwrap(ownerState.get("variant"))
        if variant in _NO_BACKDROP:
            return {"backgroundColor": "transparent"}
        return {"backgroundColor": palette["backdrop"]}

    return {"styles": {"root": root}}
