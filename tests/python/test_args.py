"""The shared argument rule, across every published constructor and method.

Rows for a class the module does not publish yet are skipped; they start to
run as soon as the class exists.
"""

import pytest

import corvane._corvane as m


def call(target):
    """Resolves "Class" or "Class.method" (on a sample instance) to a callable."""
    cls_name, _, method = target.partition(".")
    cls = getattr(m, cls_name)
    if not method:
        return cls
    samples = {"Report": ("r",), "TestSuite": ("s",), "Success": (), "Failure": ()}
    return getattr(cls(*samples[cls_name]), method)


def row(target, args, kwargs, message):
    published = hasattr(m, target.partition(".")[0])
    return pytest.param(
        target,
        args,
        kwargs,
        message,
        id=f"{target}-{message.split(') ', 1)[-1][:40]}",
        marks=pytest.mark.skipif(not published, reason=f"{target} not published yet"),
    )


ROWS = [
    row("Property", (), {}, "Property.__new__() missing 2 required positional arguments: 'name' and 'value'"),
    row("TestRerun", (), {}, "TestRerun.__new__() missing 1 required positional argument: 'kind'"),
    row("TestCase", (), {}, "TestCase.__new__() missing 2 required positional arguments: 'name' and 'status'"),
    row("TestCase", ("t",), {"classname": "c"}, "TestCase.__new__() missing 1 required positional argument: 'status'"),
    row("Report", (), {}, "Report.__new__() missing 1 required positional argument: 'name'"),
    row("Report", ("a", "b"), {}, "Report.__new__() takes 1 positional arguments but 2 were given"),
    row("Success", (1,), {}, "Success.__new__() takes 0 positional arguments but 1 was given"),
    row("Failure", ("m", "T"), {}, "Failure.__new__() takes from 0 to 1 positional arguments but 2 were given"),
    row("Skipped", ("m", "t", "d"), {}, "Skipped.__new__() takes from 0 to 1 positional arguments but 3 were given"),
    row("TestSuite", ("s",), {"bogus": 1}, "TestSuite.__new__() got an unexpected keyword argument 'bogus'"),
    row("Report", ("r",), {"name": "x"}, "Report.__new__() got multiple values for argument 'name'"),
    row("Report.add_test_suite", (), {}, "Report.add_test_suite() missing 1 required positional argument: 'test_suite'"),
    row("Report.add_test_suite", (1, 2), {}, "Report.add_test_suite() takes 1 positional arguments but 2 were given"),
    row("TestSuite.add_properties", (), {"props": []}, "TestSuite.add_properties() got an unexpected keyword argument 'props'"),
    row("Success.add_rerun", (), {}, "Success.add_rerun() missing 1 required positional argument: 'rerun'"),
]


@pytest.mark.parametrize("target, args, kwargs, message", ROWS)
def test_argument_rule(target, args, kwargs, message):
    with pytest.raises(TypeError) as excinfo:
        call(target)(*args, **kwargs)
    assert str(excinfo.value) == message
    # Argument-matching errors name no parameter being converted.
    assert not hasattr(excinfo.value, "__notes__")
