"""The module object: published names, exception classes, class properties."""

import importlib
import importlib.util
import subprocess
import sys
import textwrap
import weakref

import pytest

import corvane
import corvane._corvane as m

FULL_ORDER = [
    "NonSuccessKind",
    "RerunKind",
    "Property",
    "TestRerun",
    "Success",
    "Failure",
    "Error",
    "Skipped",
    "TestCase",
    "TestSuite",
    "Report",
    "CasesTable",
    "CorvaneError",
    "DeserializationError",
    "SerializationError",
]
EXCEPTIONS = ["CorvaneError", "DeserializationError", "SerializationError"]
CLASSES = [name for name in FULL_ORDER[:12] if hasattr(m, name)]
# A constructed instance of each class, for the instance-level properties.
SAMPLES = {
    "Property": lambda: m.Property("k", "v"),
    "NonSuccessKind": lambda: m.NonSuccessKind.FAILURE,
    "RerunKind": lambda: m.RerunKind.RERUN,
}


def test_module_doc_is_empty_string():
    assert m.__doc__ == ""
    assert m.__name__ == "corvane._corvane"


def test_all_lists_published_names_in_order():
    assert m.__all__ == [name for name in FULL_ORDER if name in m.__all__]
    assert m.__all__[-3:] == EXCEPTIONS
    for name in ["NonSuccessKind", "RerunKind", "Property"]:
        assert name in m.__all__
    for name in m.__all__:
        assert getattr(m, name) is not None


def test_package_reexports_every_published_name():
    assert corvane.__all__ == m.__all__ + [
        "load", "loads", "load_many", "LoadManyError", "iter_suites", "SuiteIterator",
        "cases_table",
    ]
    for name in m.__all__:
        assert getattr(corvane, name) is getattr(m, name)


def test_exception_hierarchy():
    assert m.DeserializationError.__mro__ == (
        m.DeserializationError,
        m.CorvaneError,
        Exception,
        BaseException,
        object,
    )
    assert m.SerializationError.__mro__[1] is m.CorvaneError
    assert m.CorvaneError.__bases__ == (Exception,)


@pytest.mark.parametrize("name", EXCEPTIONS)
def test_exception_names(name):
    cls = getattr(m, name)
    assert cls.__module__ == "_corvane"
    assert cls.__name__ == name
    assert cls.__qualname__ == name
    assert cls.__doc__ is None
    err = cls("boom")
    assert err.args == ("boom",)
    assert str(err) == "boom"


@pytest.mark.parametrize("name", CLASSES)
def test_class_module_and_name(name):
    cls = getattr(m, name)
    assert cls.__module__ == "corvane._corvane"
    assert cls.__name__ == name
    assert cls.__qualname__ == name
    assert cls.__bases__ == (object,)


@pytest.mark.parametrize("name", CLASSES + EXCEPTIONS[1:])
def test_classes_cannot_be_subclassed(name):
    cls = getattr(m, name)
    if name in EXCEPTIONS:
        # Exception classes stay subclassable; only the twelve classes are final.
        assert type("Sub", (cls,), {})
        return
    with pytest.raises(TypeError):
        type("Sub", (cls,), {})


@pytest.mark.parametrize("name", sorted(SAMPLES))
def test_instances_have_no_dict_and_no_weakrefs(name):
    obj = SAMPLES[name]()
    with pytest.raises(AttributeError):
        obj.__dict__
    with pytest.raises(AttributeError):
        obj.no_such_attribute = 1
    with pytest.raises(TypeError):
        weakref.ref(obj)


def test_reimport_publishes_the_same_objects():
    first = sys.modules.pop("corvane._corvane")
    try:
        second = importlib.import_module("corvane._corvane")
        assert second is not first
        assert second.__all__ == first.__all__
        for name in first.__all__:
            assert getattr(second, name) is getattr(first, name)
        assert second.NonSuccessKind.ERROR is first.NonSuccessKind.ERROR
    finally:
        sys.modules["corvane._corvane"] = first


def test_enumerations_have_no_docstring():
    assert m.NonSuccessKind.__doc__ is None
    assert m.RerunKind.__doc__ is None


@pytest.mark.parametrize("name", FULL_ORDER[:11])
def test_classes_are_immutable(name):
    cls = getattr(m, name)
    with pytest.raises(TypeError, match="immutable type"):
        cls.hijacked = lambda self: None
    with pytest.raises(TypeError, match="immutable type"):
        del cls.__doc__
    assert not hasattr(cls, "hijacked")


def run_child(code):
    child = subprocess.run([sys.executable, "-c", textwrap.dedent(code)], capture_output=True,
                           text=True, timeout=60)
    assert child.returncode == 0, child.stderr
    return child.stdout


def test_legacy_sub_interpreter_cannot_change_the_shared_classes():
    testcapi = pytest.importorskip("_testcapi")
    if not hasattr(testcapi, "run_in_subinterp"):
        pytest.skip("this Python cannot start a sub-interpreter")
    assert run_child("""
        import _testcapi
        import corvane._corvane as m
        failed = _testcapi.run_in_subinterp(
            "import corvane._corvane as m; m.Report.to_xml = lambda self: 'hijacked'")
        print(failed, m.Report("r").to_xml().startswith("<?xml"))
    """) == "-1 True\n"


def test_isolated_sub_interpreter_refuses_the_module_cleanly():
    if sys.version_info < (3, 12):
        pytest.skip("sub-interpreters with their own GIL need Python 3.12")
    out = run_child("""
        try:
            import _interpreters as interpreters
        except ImportError:
            import _xxsubinterpreters as interpreters
        interp = interpreters.create()
        try:
            print(interpreters.run_string(interp, "import corvane._corvane"))
        except Exception as error:  # Python 3.12 raises what 3.13 returns
            print(error)
        import corvane._corvane as m
        print(m.Report("r").name)
    """)
    assert "ImportError" in out and "subinterpreters" in out and out.endswith("\nr\n")


def test_unexecuted_tolerant_module_works():
    spec = importlib.util.find_spec("corvane._tolerant")
    module = importlib.util.module_from_spec(spec)
    assert module.canonical_xml("<testsuites/>").startswith("<?xml")
    with pytest.raises(m.DeserializationError):
        module.canonical_xml("<testsuites")
