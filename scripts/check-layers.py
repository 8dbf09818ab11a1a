#!/usr/bin/env python3
"""Keeps the includes of src/ running one way.

Reads every #include of src/<folder>/*.{h,cpp} and the link lines of
src/<folder>/CMakeLists.txt, and prints one line per include or link a
folder must not have:

    src/unwrap/foo.cpp:12: unwrap must not include video (video/frame_source.h)

Exit status: 0 when the tree keeps the rules, 1 when it breaks one, 2 on a
usage error. Run by ctest (tests/layers) in every normal build.

    scripts/check-layers.py [--root DIR] [--qt-headers DIR]
"""

import argparse
import os
import re
import sys

# Which Qt a folder may use: none at all, Qt without widgets (Core, Gui,
# Multimedia, ...), or Qt with widgets (QtWidgets and the *Widgets modules).
NO_QT, QT, WIDGETS = "no Qt", "Qt", "QtWidgets"

# The layer table: one row per folder of src/.
#   may include   folders below it (a name like "video/messages.h" allows
#                 that one header of a folder, not the rest of it)
#   qt            NO_QT, QT or WIDGETS
#   gstreamer     whether it may include gst/ and GLib
# A folder in no row is reported: a new folder gets its place here first.
# Includes of its own folder are always allowed; tests are not checked.
# detect and export have their places in the house style before they exist.
LAYERS = {
    # folder     may include                                           qt       gstreamer
    "frame":    ([],                                                    NO_QT,   False),
    "config":   ([],                                                    NO_QT,   False),
    "unwrap":   (["frame", "config"],                                   NO_QT,   False),
    "detect":   (["frame", "config"],                                   NO_QT,   False),
    # The test-video maker draws its ring with unwrap's geometry.
    "video":    (["frame", "config", "unwrap"],                         NO_QT,   True),
    "playback": (["frame", "config", "unwrap", "video"],                NO_QT,   False),
    "export":   (["frame", "config", "unwrap", "detect", "video"],      NO_QT,   False),
    # The shared message box shows the frame source's fixed texts.
    "ui":       (["frame", "config", "video/messages.h"],               WIDGETS, False),
    "player":   (["frame", "config", "unwrap", "detect", "video", "playback", "export", "ui"],
                                                                        WIDGETS, False),
    "setup":    (["frame", "config", "unwrap", "detect", "video", "playback", "export", "ui"],
                                                                        WIDGETS, False),
    "tool":     (["frame", "config", "unwrap", "detect", "video", "playback", "export"],
                                                                        QT,      False),
}

SOURCE_SUFFIXES = (".h", ".hpp", ".cpp", ".cc", ".inl")
INCLUDE_RE = re.compile(r'^\s*#\s*include\s*([<"])([^>"]+)[>"]')
GSTREAMER_RE = re.compile(r"^(gst|glib|gobject|gio|gmodule)/|^(glib|glib-object|gio)\.h$")
QT_HEADER_DIRS = ("/usr/include/x86_64-linux-gnu/qt6", "/usr/include/aarch64-linux-gnu/qt6",
                  "/usr/include/qt6")


def is_widgets_module(module):
    return module is not None and module.endswith("Widgets")


class QtModules:
    """Finds the Qt module of a header by where Qt installed it."""

    def __init__(self, headers_dir):
        self.dir = headers_dir
        self.modules = []
        if headers_dir and os.path.isdir(headers_dir):
            self.modules = sorted(
                m for m in os.listdir(headers_dir)
                if m.startswith("Qt") and os.path.isdir(os.path.join(headers_dir, m)))
        self.cache = {}

    def module_of(self, header):
        """The module ("QtWidgets") of a Qt header, or None when it is none of Qt's."""
        first = header.split("/", 1)[0]
        if first in self.modules or (not self.modules and re.match(r"^Qt[A-Z]\w*$", first)):
            return first
        if "/" in header:
            return None
        if header not in self.cache:
            self.cache[header] = next((m for m in self.modules
                                       if os.path.isfile(os.path.join(self.dir, m, header))), None)
        return self.cache[header]


def qt_kind(header, qt):
    """WIDGETS or QT for a Qt header, None for any other header."""
    module = qt.module_of(header)
    if module is None and not re.match(r"^Q[A-Z]\w*$", header):
        return None
    return WIDGETS if is_widgets_module(module) else QT


def resolve_include(src, including_file, name, folders):
    """(folder, path under src) of a quoted include of ours, or (None, None)."""
    local = os.path.normpath(os.path.join(os.path.dirname(including_file), name))
    for candidate in (local, os.path.normpath(os.path.join(src, name))):
        if os.path.isfile(candidate):
            rel = os.path.relpath(candidate, src).replace(os.sep, "/")
            if rel.startswith("../") or "/" not in rel:
                return None, None
            return rel.split("/", 1)[0], rel
    # Not there (yet): judge by its first component, as the include path reads it.
    first = name.split("/", 1)[0]
    return (first, os.path.normpath(name)) if "/" in name and first in folders else (None, None)


def allows(row, folder, path):
    return folder in row[0] or path in row[0]


def check_includes(root, src, folders, qt, report):
    for folder in folders:
        row = LAYERS.get(folder)
        if row is None:
            continue
        for dirpath, dirs, files in os.walk(os.path.join(src, folder)):
            dirs.sort()
            for fname in sorted(files):
                if not fname.endswith(SOURCE_SUFFIXES):
                    continue
                path = os.path.join(dirpath, fname)
                with open(path, encoding="utf-8", errors="replace") as f:
                    lines = f.readlines()
                for number, line in enumerate(lines, 1):
                    m = INCLUDE_RE.match(line)
                    if not m:
                        continue
                    quoted, header = m.group(1) == '"', m.group(2).strip()
                    where = "%s:%d" % (os.path.relpath(path, root), number)
                    what = None
                    target, target_path = (resolve_include(src, path, header, folders)
                                           if quoted else (None, None))
                    shown = '"%s"' % header if quoted else "<%s>" % header
                    if target is not None:
                        if target != folder and not allows(row, target, target_path):
                            what = "%s (%s)" % (target, header)
                    elif GSTREAMER_RE.search(header):
                        if not row[2]:
                            what = "GStreamer (%s)" % shown
                    else:
                        kind = qt_kind(header, qt)
                        if kind is not None and row[1] == NO_QT:
                            what = "Qt (%s)" % shown
                        elif kind == WIDGETS and row[1] != WIDGETS:
                            what = "QtWidgets (%s)" % shown
                    if what:
                        report("%s: %s must not include %s" % (where, folder, what))


LINK_RE = re.compile(r"\btarget_link_libraries\s*\(([^)]*)\)", re.S)
TARGET_RE = re.compile(r"\badd_(?:library|executable)\s*\(\s*([A-Za-z0-9_.+-]+)", re.S)
LINK_KEYWORDS = {"PUBLIC", "PRIVATE", "INTERFACE", "LINK_PUBLIC", "LINK_PRIVATE",
                 "LINK_INTERFACE_LIBRARIES", "debug", "optimized", "general"}


def strip_cmake_comments(text):
    # Keeps the line count so reported lines match the file.
    return re.sub(r"#[^\n]*", "", text)


def check_links(root, src, folders, report):
    texts, owner = {}, {}
    for folder in folders:
        path = os.path.join(src, folder, "CMakeLists.txt")
        if os.path.isfile(path):
            with open(path, encoding="utf-8", errors="replace") as f:
                texts[folder] = (path, strip_cmake_comments(f.read()))
            for m in TARGET_RE.finditer(texts[folder][1]):
                owner[m.group(1)] = folder
    for folder, (path, text) in sorted(texts.items()):
        row = LAYERS.get(folder)
        if row is None:
            continue
        for m in LINK_RE.finditer(text):
            for token in list(re.finditer(r"\S+", m.group(1)))[1:]:
                item = token.group(0)
                if item in LINK_KEYWORDS:
                    continue
                line = text.count("\n", 0, m.start(1) + token.start()) + 1
                where = "%s:%d" % (os.path.relpath(path, root), line)
                what = None
                if item in owner and owner[item] != folder and not allows(row, owner[item], item):
                    what = "%s (%s)" % (owner[item], item)
                elif item.startswith("Qt6::") or item.startswith("Qt::"):
                    module = "Qt" + item.split("::", 1)[1]
                    if row[1] == NO_QT:
                        what = "Qt (%s)" % item
                    elif is_widgets_module(module) and row[1] != WIDGETS:
                        what = "QtWidgets (%s)" % item
                elif re.search(r"gst|glib|gobject", item, re.I) and not row[2]:
                    what = "GStreamer (%s)" % item
                if what:
                    report("%s: %s must not link %s" % (where, folder, what))


def main(argv):
    here = os.path.dirname(os.path.abspath(__file__))
    parser = argparse.ArgumentParser(
        description="Checks that src/ folders include and link only what their layer allows.")
    parser.add_argument("--root", default=os.path.dirname(here),
                        help="the source tree (default: this checkout)")
    parser.add_argument("--qt-headers", default=None,
                        help="Qt's include folder (holds QtCore/, QtWidgets/, ...)")
    args = parser.parse_args(argv)

    root = os.path.abspath(args.root)
    src = os.path.join(root, "src")
    if not os.path.isdir(src):
        print("check-layers: no src/ in %s" % root, file=sys.stderr)
        return 2
    qt_dir = args.qt_headers or next((d for d in QT_HEADER_DIRS if os.path.isdir(d)), None)
    qt = QtModules(qt_dir)
    if not qt.modules:
        print("check-layers: Qt's headers not found; QtWidgets is told apart only by "
              "<QtWidgets/...>", file=sys.stderr)

    folders = sorted(d for d in os.listdir(src) if os.path.isdir(os.path.join(src, d)))
    problems = []
    for folder in folders:
        if folder not in LAYERS:
            problems.append("%s: %s has no row in the layer table of scripts/check-layers.py"
                            % (os.path.relpath(os.path.join(src, folder), root), folder))
    check_includes(root, src, folders, qt, problems.append)
    check_links(root, src, folders, problems.append)
    for p in problems:
        print(p)
    return 1 if problems else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
