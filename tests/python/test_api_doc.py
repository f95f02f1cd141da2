"""docs/api.md describes every name the package publishes: each class, its
public members, each function and each command, so the reference cannot fall
behind the type stubs, `corvane.__all__` or the command line."""

import ast
import pathlib
import re

import pytest

from corvane import cli

ROOT = pathlib.Path(__file__).resolve().parents[2]
PACKAGE = ROOT / "python" / "corvane"
API = (ROOT / "docs" / "api.md").read_text(encoding="utf-8")


def published_names():
    """(class or None, name) for every public class, member and function of
    the stubs, and every name in __init__.py's __all__."""
    names = set()
    for stub in ("_corvane.pyi", "_tolerant.pyi"):
        for node in ast.parse((PACKAGE / stub).read_text(encoding="utf-8")).body:
            if isinstance(node, ast.FunctionDef) and not node.name.startswith("_"):
                names.add((None, node.name))
            if isinstance(node, ast.ClassDef) and not node.name.startswith("_"):
                names.add((None, node.name))
                for member in node.body:
                    target = getattr(member, "target", None)
                    name = target.id if isinstance(target, ast.Name) else getattr(member, "name", "")
                    if name and not name.startswith("_"):
                        names.add((node.name, name))
    init = ast.parse((PACKAGE / "__init__.py").read_text(encoding="utf-8"))
    for node in ast.walk(init):
        if isinstance(node, (ast.Assign, ast.AugAssign)) and "__all__" in ast.unparse(node):
            names.update((None, ast.literal_eval(item)) for item in node.value.elts)
    return sorted(names, key=lambda pair: (pair[0] or "", pair[1]))


def section(class_name):
    """The text under the heading that names the class, up to the next heading."""
    match = re.search(rf"^#+ `{class_name}`\n(.*?)(?=^#)", API + "\n#", re.M | re.S)
    assert match, f"docs/api.md has no heading for {class_name}"
    return match.group(1)


def test_names_are_found_in_every_source():
    names = published_names()
    assert {("Report", "from_xml"), ("NonSuccessKind", "FAILURE"), ("TestCase", "extra"),
            (None, "canonical_xml"), (None, "load")} <= set(names)


@pytest.mark.parametrize("owner, name", published_names())
def test_every_published_name_is_described(owner, name):
    text = API if owner is None else section(owner)
    assert re.search(rf"`{name}\b", text), f"docs/api.md does not describe {owner or ''}.{name}"


def commands_and_options():
    """(command, option) for every long option of every command, and
    (command, None) for the command itself."""
    commands = cli.parser()._subparsers._group_actions[0].choices
    pairs = []
    for command, parser in sorted(commands.items()):
        pairs.append((command, None))
        options = (o for a in parser._actions for o in a.option_strings if o.startswith("--"))
        pairs += [(command, option) for option in options if option != "--help"]
    return pairs


@pytest.mark.parametrize("command, option", commands_and_options())
def test_every_command_and_option_is_described(command, option):
    entry = re.search(rf"^- `{command} .*?(?=^- |^```)", API, re.M | re.S)
    assert entry, f"docs/api.md does not describe the command {command}"
    assert option is None or option in entry.group(0)
