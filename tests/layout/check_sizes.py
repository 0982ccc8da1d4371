#!/usr/bin/env python3
"""Fails when a product source file is longer than 450 lines or a function body longer than 60.

A function's length runs from the line of its opening brace to the line of its closing one;
lambdas and local classes count as part of the function around them. Usage: check_sizes.py
SOURCE_ROOT
"""
import pathlib
import re
import sys

from check_layers import RANK
from cxx_scan import split_code

MAX_FILE_LINES = 450
MAX_FUNCTION_LINES = 60
CONTAINER = re.compile(r"^(template\s*<.*>\s*)?(class|struct|union|enum|namespace)\b|"
                       r"^namespace\b|^extern\b", re.S)
NAME = re.compile(r"([A-Za-z_~][A-Za-z0-9_:~]*|operator\W+)\s*\($")


def is_function(prefix: str) -> bool:
    """Whether the text before a brace at namespace or class level heads a function body."""
    depth = 0
    for c in prefix:
        depth += c == "("
        depth -= c == ")"
        if c == "=" and depth == 0 and "operator" not in prefix:
            return False
    return ")" in prefix


def function_name(prefix: str) -> str:
    head = prefix[:prefix.find("(") + 1].strip()
    match = NAME.search(head)
    return match.group(1) if match else head[-40:]


def long_functions(code: str):
    """Yields (name, first line, lines) for each function body longer than the limit."""
    stack = []  # kinds of the open braces: "container", "function", "data"
    prefix, prefix_line, line = "", 1, 1
    open_line = {}
    for i, c in enumerate(code):
        if c == "\n":
            line += 1
        outside = all(kind == "container" for kind in stack)
        if c == "{":
            if outside:
                text = " ".join(prefix.split())
                if CONTAINER.search(text):
                    kind = "container"
                else:
                    kind = "function" if is_function(text) else "data"
                open_line[len(stack)] = (line, text)
                stack.append(kind)
                if kind == "container":
                    prefix = ""
            else:
                stack.append("inner")
            continue
        if c == "}":
            kind = stack.pop() if stack else "container"
            if all(k == "container" for k in stack):
                start, text = open_line.get(len(stack), (line, ""))
                rest = code[i + 1:].lstrip()
                # A brace-initialised member in a constructor's initialiser list.
                if kind == "function" and rest[:1] in (",", "{"):
                    prefix += "{}"
                    continue
                if kind == "function" and line - start + 1 > MAX_FUNCTION_LINES:
                    yield function_name(text), start, line - start + 1
                prefix = ""
            continue
        if outside:
            if c == ";":
                prefix = ""
            elif c == "#" and (i == 0 or code[i - 1] == "\n"):
                prefix = ""
            else:
                prefix += c
    return


def strip_preprocessor(code: str) -> str:
    lines = code.split("\n")
    out, continued = [], False
    for text in lines:
        directive = continued or text.lstrip().startswith("#")
        continued = directive and text.endswith("\\")
        out.append("" if directive else text)
    return "\n".join(out)


def main(root: pathlib.Path) -> int:
    wrong = []
    for folder in RANK:
        for path in sorted((root / folder).rglob("*")):
            if path.suffix not in (".h", ".cpp"):
                continue
            text = path.read_text(errors="replace")
            name = path.relative_to(root)
            lines = text.count("\n") + (0 if text.endswith("\n") else 1)
            if lines > MAX_FILE_LINES:
                wrong.append(f"{name}: {lines} lines")
            code = strip_preprocessor(split_code(text)[0])
            for function, start, length in long_functions(code):
                wrong.append(f"{name}:{start}: {function} is {length} lines")
    for line in wrong:
        print(line)
    print(f"{len(wrong)} file(s) over {MAX_FILE_LINES} lines or function(s) over "
          f"{MAX_FUNCTION_LINES}")
    return 1 if wrong else 0


if __name__ == "__main__":
    sys.exit(main(pathlib.Path(sys.argv[1])))
