# SPDX-License-Identifier: MIT
"""The type stub describes the module as it is: the same public names, the same members of
Image, and a docstring on each of them."""

import ast
import pathlib

import tessel

STUB = pathlib.Path(tessel.__file__).with_name("__init__.pyi")


def stub_names():
    tree = ast.parse(STUB.read_text())
    top, members = set(), set()
    for node in tree.body:
        if isinstance(node, (ast.FunctionDef, ast.ClassDef)):
            top.add(node.name)
        elif isinstance(node, ast.AnnAssign):
            top.add(node.target.id)
        if isinstance(node, ast.ClassDef) and node.name == "Image":
            members = {n.name for n in node.body if isinstance(n, ast.FunctionDef)}
    return top, members


def test_the_stub_names_what_the_module_exports():
    top, members = stub_names()
    helpers = {"PathLike", "BytesLike", "Thumbnail"}  # type aliases of the stub itself
    assert top - helpers == set(tessel.__all__)
    public = {name for name in dir(tessel.Image) if not name.startswith("_")}
    assert members - {"__enter__", "__exit__"} == public


def test_every_public_member_is_documented():
    for name in tessel.__all__:
        value = getattr(tessel, name)
        if callable(value):
            assert value.__doc__ and value.__doc__.strip(), name
    for name in dir(tessel.Image):
        if not name.startswith("_"):
            assert getattr(tessel.Image, name).__doc__.strip(), name
