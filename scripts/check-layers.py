#!/usr/bin/env python3
"""Fails when an #include in src/ points up the layer order

    core <- catalog <- prices <- collection <- ui <- selftest <- app

(a layer includes only itself and the layers to its left), or when a library
below ui includes a Qt Widgets header.

Usage: scripts/check-layers.py [--src DIR] [--widgets-headers DIR]
--src defaults to src/ of the repository; --widgets-headers is the folder of
Qt's Widgets headers, used to tell a widget header from the rest of Qt (when
it is not given, the usual Debian locations are tried).
"""
import argparse
import glob
import os
import re
import sys

LAYERS = ["core", "catalog", "prices", "collection", "ui", "selftest", "app"]
FIRST_WITH_WIDGETS = LAYERS.index("ui")
SOURCE_SUFFIXES = (".h", ".cpp")

INCLUDE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')


def widget_headers(folder):
    """Names of the Qt Widgets headers ("QWidget", "QtWidgets/QWidget", ...)."""
    names = {"QtWidgets"}
    if folder and os.path.isdir(folder):
        for entry in os.listdir(folder):
            names.add(entry)
            names.add("QtWidgets/" + entry)
    return names


def default_widgets_folder():
    for candidate in sorted(glob.glob("/usr/include/*/qt6/QtWidgets")) + ["/usr/include/qt6/QtWidgets"]:
        if os.path.isdir(candidate):
            return candidate
    return None


def check(src, widgets):
    problems = []
    for layer_index, layer in enumerate(LAYERS):
        root = os.path.join(src, layer)
        for folder, _dirs, files in os.walk(root):
            for name in sorted(files):
                if not name.endswith(SOURCE_SUFFIXES):
                    continue
                path = os.path.join(folder, name)
                with open(path, encoding="utf-8", errors="replace") as f:
                    for number, line in enumerate(f, 1):
                        match = INCLUDE.match(line)
                        if not match:
                            continue
                        quote, target = match.groups()
                        where = "%s:%d" % (os.path.relpath(path, src), number)
                        first = target.split("/", 1)[0]
                        if quote == '"' and "/" in target and first in LAYERS:
                            if LAYERS.index(first) > layer_index:
                                problems.append("%s: %s includes \"%s\" from the %s layer above it"
                                                % (where, layer, target, first))
                        elif quote == "<" and layer_index < FIRST_WITH_WIDGETS and target in widgets:
                            problems.append("%s: %s includes the widget header <%s>" % (where, layer, target))
    return problems


def main():
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("--src", default=os.path.join(os.path.dirname(here), "src"))
    parser.add_argument("--widgets-headers", default=None)
    args = parser.parse_args()

    folder = args.widgets_headers or default_widgets_folder()
    if not folder or not os.path.isdir(folder):
        print("Qt Widgets headers not found; pass --widgets-headers", file=sys.stderr)
        return 2
    if not os.path.isdir(args.src):
        print("no source folder at %s" % args.src, file=sys.stderr)
        return 2
    problems = check(args.src, widget_headers(folder))
    for problem in problems:
        print(problem)
    if problems:
        print("%d include(s) break the layer order" % len(problems))
        return 1
    print("layer order holds")
    return 0


if __name__ == "__main__":
    sys.exit(main())
