"""Property: construction, argument rules, attributes and sanitising."""

import pytest

from corvane._corvane import Property


class Outer:
    class Inner:
        pass


class MyStr(str):
    pass


def test_construct_by_position_and_keyword():
    for p in (Property("k", "v"), Property(name="k", value="v"), Property("k", value="v")):
        assert (p.name, p.value) == ("k", "v")


def test_str_subclass_is_accepted_and_read_back_as_str():
    p = Property(MyStr("k"), MyStr("v"))
    assert type(p.name) is str and p.name == "k"
    assert type(p.value) is str and p.value == "v"


@pytest.mark.parametrize(
    "args, kwargs, message",
    [
        ((), {}, "Property.__new__() missing 2 required positional arguments: 'name' and 'value'"),
        (("k",), {}, "Property.__new__() missing 1 required positional argument: 'value'"),
        ((), {"value": "v"}, "Property.__new__() missing 1 required positional argument: 'name'"),
        (("k", "v", "x"), {}, "Property.__new__() takes 2 positional arguments but 3 were given"),
        # Surplus positionals are reported before any keyword problem.
        (("k", "v", "x"), {"bogus": 1}, "Property.__new__() takes 2 positional arguments but 3 were given"),
        (("k", "v"), {"bogus": 1}, "Property.__new__() got an unexpected keyword argument 'bogus'"),
        (("k",), {"name": "n"}, "Property.__new__() got multiple values for argument 'name'"),
        (("k", "v"), {"value": "w"}, "Property.__new__() got multiple values for argument 'value'"),
        # Keyword problems come before missing arguments.
        ((), {"nome": "k"}, "Property.__new__() got an unexpected keyword argument 'nome'"),
    ],
)
def test_argument_rule_texts(args, kwargs, message):
    with pytest.raises(TypeError) as excinfo:
        Property(*args, **kwargs)
    assert str(excinfo.value) == message
    assert not hasattr(excinfo.value, "__notes__")


@pytest.mark.parametrize(
    "args, parameter, exc_type, message",
    [
        ((1, "v"), "name", TypeError, "'int' object is not an instance of 'str'"),
        (("k", None), "value", TypeError, "'None' is not an instance of 'str'"),
        (("k", b"v"), "value", TypeError, "'bytes' object is not an instance of 'str'"),
        ((Outer.Inner(), "v"), "name", TypeError, "'Outer.Inner' object is not an instance of 'str'"),
        (("k", "\ud800"), "value", UnicodeEncodeError, None),
        # The first failing parameter is the one reported.
        ((1, 2), "name", TypeError, "'int' object is not an instance of 'str'"),
    ],
)
def test_refused_values(args, parameter, exc_type, message, assert_note):
    with pytest.raises(exc_type) as excinfo:
        Property(*args)
    if message is not None:
        assert str(excinfo.value) == message
    assert_note(excinfo, parameter)


@pytest.mark.parametrize(
    "raw, clean",
    [
        ("\x1b[31mred\x1b[0m", "red"),
        ("a\x00b\x01c", "abc"),
        ("a\r\nb", "a\nb"),
        ("plain é ✓", "plain é ✓"),
    ],
)
def test_texts_are_sanitised(raw, clean):
    p = Property(raw, raw)
    assert (p.name, p.value) == (clean, clean)
    p = Property("k", "v")
    p.name = raw
    p.value = raw
    assert (p.name, p.value) == (clean, clean)


@pytest.mark.parametrize("odd, kept", [("\x01", ""), ("\x1f", ""), ("\x85", ""), ("\t", "\t"),
                                       ("\x7f", "\x7f"), ("é", "é")])
def test_short_texts_are_cleaned_whatever_the_length_and_position(odd, kept):
    # Short ASCII texts take a quicker check than long ones: one character
    # it must not pass, at every position of every length around its words.
    for length in range(1, 72):
        for position in range(length):
            raw = "a" * position + odd + "b" * (length - position - 1)
            assert Property(raw, "v").name == raw.replace(odd, kept), (length, position)


@pytest.mark.parametrize("attribute", ["name", "value"])
def test_attribute_write(attribute):
    p = Property("k", "v")
    setattr(p, attribute, MyStr("new"))
    assert getattr(p, attribute) == "new"
    assert type(getattr(p, attribute)) is str


@pytest.mark.parametrize("attribute", ["name", "value"])
@pytest.mark.parametrize(
    "bad, message",
    [
        (None, "'None' is not an instance of 'str'"),
        (3, "'int' object is not an instance of 'str'"),
    ],
)
def test_refused_write_keeps_old_value(attribute, bad, message, assert_note):
    p = Property("k", "v")
    before = getattr(p, attribute)
    with pytest.raises(TypeError) as excinfo:
        setattr(p, attribute, bad)
    assert str(excinfo.value) == message
    assert_note(excinfo, "value")
    assert getattr(p, attribute) == before


@pytest.mark.parametrize("attribute", ["name", "value"])
def test_attributes_cannot_be_deleted(attribute):
    p = Property("k", "v")
    with pytest.raises(AttributeError, match="^property has no deleter$"):
        delattr(p, attribute)
    assert getattr(p, attribute) in ("k", "v")


def test_signature_and_identity_semantics():
    import inspect

    assert Property.__doc__ == ""
    assert Property.__text_signature__ == "(name, value)"
    assert str(inspect.signature(Property)) == "(name, value)"
    # No __eq__ or __hash__ of its own: equal texts, distinct objects.
    a, b = Property("k", "v"), Property("k", "v")
    assert a != b and a == a
    assert len({a, b, a}) == 2


LEAK_ROUNDS = 200


def test_no_reference_leaks():
    import sys

    name, value = "leak-check-name", "leak-check-value"
    before = (sys.getrefcount(Property), sys.getrefcount(name), sys.getrefcount(value))
    for _ in range(LEAK_ROUNDS):
        p = Property(name, value)
        p.name = value
        p.name, p.value
        del p
        for bad in ((name, None), (name,), (name, value, value)):
            with pytest.raises(TypeError):
                Property(*bad)
        with pytest.raises(TypeError):
            Property(name, value, bogus=value)
    del bad
    after = (sys.getrefcount(Property), sys.getrefcount(name), sys.getrefcount(value))
    assert after[1:] == before[1:]
    # Interpreter caches may hold a few references to the class; a leak per
    # instance would show as hundreds.
    assert after[0] - before[0] < 20
