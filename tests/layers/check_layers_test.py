#!/usr/bin/env python3
"""The layer check fails on a copy of src/ with forbidden includes and links
put in, naming each one, and stays quiet on the copy before that.

    check_layers_test.py <check-layers.py> <source tree> [--qt-headers DIR]
"""

import os
import shutil
import subprocess
import sys
import tempfile

# (folder, line put into a new header there, the report it must cause). New
# files keep the test independent of what the folders hold today.
INJECTED = [
    ("unwrap", '#include "video/frame_source.h"',
     "unwrap must not include video (video/frame_source.h)"),
    ("unwrap", "#include <QImage>", "unwrap must not include Qt (<QImage>)"),
    ("config", "#include <gst/gst.h>", "config must not include GStreamer (<gst/gst.h>)"),
    ("frame", "#include <glib.h>", "frame must not include GStreamer (<glib.h>)"),
    ("playback", '#include "ui/pump_step.h"', "playback must not include ui (ui/pump_step.h)"),
    ("tool", "#include <QLabel>", "tool must not include QtWidgets (<QLabel>)"),
    ("player", '#include "setup/overlay.h"', "player must not include setup (setup/overlay.h)"),
    ("setup", '#include "../player/main_window.h"',
     "setup must not include player (../player/main_window.h)"),
]


def run(check, root, extra):
    p = subprocess.run([sys.executable, check, "--root", root] + extra, capture_output=True,
                       text=True, timeout=120)
    return p.returncode, p.stdout.splitlines(), p.stderr


def main():
    check, tree, extra = sys.argv[1], sys.argv[2], sys.argv[3:]
    failures = []
    with tempfile.TemporaryDirectory(prefix="hv_layers_") as tmp:
        shutil.copytree(os.path.join(tree, "src"), os.path.join(tmp, "src"))
        status, out, err = run(check, tmp, extra)
        if status != 0 or out:
            failures.append("the untouched copy fails (%d):\n%s%s" % (status, "\n".join(out), err))

        expected = []
        for i, (folder, include, message) in enumerate(INJECTED):
            name = "src/%s/layer_probe_%d.h" % (folder, i)
            with open(os.path.join(tmp, name), "w", encoding="utf-8") as f:
                f.write("#pragma once\n" + include + "\n")
            expected.append("%s:2: %s" % (name, message))
        # hv_unwrap linking Qt and GStreamer.
        cmake = os.path.join(tmp, "src", "unwrap", "CMakeLists.txt")
        with open(cmake, encoding="utf-8") as f:
            text = f.read()
        if text and not text.endswith("\n"):
            text += "\n"
        line = text.count("\n") + 1
        with open(cmake, "w", encoding="utf-8") as f:
            f.write(text + "target_link_libraries(hv_unwrap PUBLIC Qt6::Gui PkgConfig::GST)\n")
        expected += ["src/unwrap/CMakeLists.txt:%d: unwrap must not link %s" % (line, what)
                     for what in ("Qt (Qt6::Gui)", "GStreamer (PkgConfig::GST)")]

        status, out, err = run(check, tmp, extra)
        if status != 1:
            failures.append("exit status %d with forbidden includes, want 1; stderr: %s"
                            % (status, err))
        for line in expected:
            if line not in out:
                failures.append("not reported: " + line)
        for line in out:
            if line not in expected:
                failures.append("reported but not injected: " + line)

    for f in failures:
        print(f)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
