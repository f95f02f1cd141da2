"""pickle and copy for the module's exception classes.

Their __module__ is "_corvane", a name no import finds, so pickle cannot
refer to the classes themselves. Each exception is rebuilt instead by its
class's name from corvane._corvane, through `rebuild` here, which a fresh
process finds by importing this package.
"""

import copyreg

from corvane import _corvane

_NAMES = ("CorvaneError", "DeserializationError", "SerializationError")


def rebuild(name, args):
    if name not in _NAMES:
        raise ValueError(f"not an exception class of corvane: {name!r}")
    return getattr(_corvane, name)(*args)


def _reduce(error):
    # Attributes set on the exception (the notes of add_note) go along as its
    # state, as for any exception.
    return rebuild, (type(error).__name__, error.args), error.__dict__ or None


# Registered for these exact classes: a subclass defined elsewhere has an
# importable module and pickles the usual way.
for _name in _NAMES:
    copyreg.pickle(getattr(_corvane, _name), _reduce)
