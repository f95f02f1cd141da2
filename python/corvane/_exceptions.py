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
    # A subclass defined elsewhere has an importable module and pickles the
    # usual way.
    if getattr(_corvane, type(error).__name__, None) is not type(error):
        return BaseException.__reduce__(error)
    # Attributes set on the exception (the notes of add_note) go along as its
    # state, as for any exception.
    return rebuild, (type(error).__name__, error.args), error.__dict__ or None


# Both as the classes' own __reduce__ and in copyreg's table: libraries that
# replace the table's entry for every exception class (dask.distributed,
# through tblib, on import) build on __reduce__, so pickling keeps working
# in their processes too.
for _name in _NAMES:
    getattr(_corvane, _name).__reduce__ = _reduce
    copyreg.pickle(getattr(_corvane, _name), _reduce)
