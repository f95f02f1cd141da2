"""NonSuccessKind and RerunKind: members, conversions and comparisons."""

import operator

import pytest

from corvane._corvane import NonSuccessKind, RerunKind

MEMBERS = [
    (NonSuccessKind.FAILURE, "NonSuccessKind.FAILURE", 0),
    (NonSuccessKind.ERROR, "NonSuccessKind.ERROR", 1),
    (RerunKind.FLAKY, "RerunKind.FLAKY", 0),
    (RerunKind.RERUN, "RerunKind.RERUN", 1),
]


class Indexable:
    def __init__(self, value):
        self.value = value

    def __index__(self):
        return self.value


class BadIndex:
    def __index__(self):
        raise ValueError("no index")


@pytest.mark.parametrize("member, text, value", MEMBERS)
def test_repr_str_int(member, text, value):
    assert repr(member) == text
    assert str(member) == text
    assert int(member) == value
    assert type(int(member)) is int
    assert type(member).__name__ == text.split(".")[0]


@pytest.mark.parametrize("member, text, value", MEMBERS)
def test_members_are_singletons(member, text, value):
    attr = text.split(".")[1]
    cls = type(member)
    assert getattr(cls, attr) is member
    assert getattr(cls, attr) is getattr(cls, attr)


# (left, right, expected result of ==)
COMPARISONS = [
    (NonSuccessKind.FAILURE, NonSuccessKind.FAILURE, True),
    (NonSuccessKind.FAILURE, NonSuccessKind.ERROR, False),
    (RerunKind.RERUN, RerunKind.RERUN, True),
    (NonSuccessKind.ERROR, 1, True),
    (NonSuccessKind.ERROR, 0, False),
    (NonSuccessKind.FAILURE, False, True),
    (NonSuccessKind.ERROR, True, True),
    (RerunKind.RERUN, Indexable(1), True),
    (RerunKind.RERUN, Indexable(2), False),
    (RerunKind.FLAKY, 2**70, False),
    (RerunKind.FLAKY, -(2**70), False),
    # No __index__: Python falls back to identity.
    (NonSuccessKind.FAILURE, RerunKind.FLAKY, False),
    (NonSuccessKind.ERROR, RerunKind.RERUN, False),
    (NonSuccessKind.FAILURE, 0.0, False),
    (NonSuccessKind.ERROR, 1.0, False),
    (NonSuccessKind.FAILURE, "0", False),
    (NonSuccessKind.FAILURE, None, False),
    (NonSuccessKind.FAILURE, object(), False),
]


@pytest.mark.parametrize("left, right, expected", COMPARISONS)
def test_equality_table(left, right, expected):
    assert (left == right) is expected
    assert (right == left) is expected
    assert (left != right) is (not expected)
    assert (right != left) is (not expected)


def test_failing_index_propagates():
    with pytest.raises(ValueError, match="no index"):
        NonSuccessKind.FAILURE == BadIndex()


@pytest.mark.parametrize("op", [operator.lt, operator.le, operator.gt, operator.ge])
@pytest.mark.parametrize("other", [NonSuccessKind.ERROR, 1])
def test_ordering_is_not_supported(op, other):
    with pytest.raises(TypeError):
        op(NonSuccessKind.FAILURE, other)


@pytest.mark.parametrize("member", [m for m, _, _ in MEMBERS])
def test_members_are_unhashable(member):
    assert type(member).__hash__ is None
    with pytest.raises(TypeError):
        hash(member)
    with pytest.raises(TypeError):
        {member}
    with pytest.raises(TypeError):
        {member: 1}


@pytest.mark.parametrize("cls", [NonSuccessKind, RerunKind])
@pytest.mark.parametrize("args", [(), (0,), ("FAILURE",)])
def test_no_constructor(cls, args):
    with pytest.raises(TypeError):
        cls(*args)
