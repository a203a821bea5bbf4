#!/usr/bin/python3
"""Builds the user's guide PDF from UsersGuide.html and guide.css with WeasyPrint.

The pictures come from the build they document: the before/after crops are made by the built
plug-in and engine through glazehost on the bundled sample, the dialog pictures by
guide_pictures, which opens the built dialog on the sample with the predefined presets. The parameter table, the version and the compatibility
table are read from their one source (the parameter table in plugin/FilterParams.cpp, the top
CMakeLists.txt, the README).

Usage: build.py BUILD_DIR OUT.pdf
"""
import html
import os
import re
import shutil
import subprocess
import sys

from PIL import Image

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(os.path.dirname(HERE))

# Where the crops come from in samples/sample.png (1600 x 900): the lower edge of the big
# dandelion, its stem, a blurred seed head and the grass. The engine filters a larger region,
# so that the crop is free of the region's borders.
REGION = (230, 270, 870, 730)   # left, top, right, bottom of what is filtered
CROP = (150, 110, 490, 350)    # of the filtered region, shown at 100 %

# The look the parameters are shown against: the defaults with some cleaning, so that the
# clean and texture parameters have something to act on.
BASE = {"CIT_": 4}

# Each parameter shown at a low and a high value, with what else it needs to show.
SHOWN = [
    ("CIT_", 0, 8, {}),
    ("CRD_", 4, 25, {}),
    ("CTH_", 0.1, 1.5, {}),
    ("ESP_", 0, 3, {}),
    ("ERD_", 0.7, 4, {"ESP_": 2}),
    ("ELA_", 0, 5, {}),
    ("TKT_", 0, 1, {}),
    ("TBT_", 0.25, 4, {"TKT_": 0.6}),
    ("TRN_", 0.8, 6, {"TKT_": 0.6}),
]


def parameter_table():
    """The nine parameters as the plug-in declares them: key -> (label, name, min, max, default)."""
    source = open(os.path.join(ROOT, "plugin", "FilterParams.cpp"), encoding="utf-8").read()
    rows = re.findall(r'\{"(\w+)", "([^"]*)", "([^"]*)", FourCC\("(\w{4})"\), '
                      r'([\d.]+), ([\d.]+), ([\d.]+), "([^"]*)"\}', source)
    if len(rows) != 9:
        sys.exit("build.py: the parameter table of plugin/FilterParams.cpp was not found")
    table = {}
    for field, label, name, key, lo, hi, default, fmt in rows:
        table[key] = dict(field=field, label=label.rstrip(":"), name=name, min=float(lo),
                          max=float(hi), default=float(default), fmt=fmt)
    return table


def number(value, fmt):
    """A value as the dialog shows it, without the padding."""
    return (fmt % value).strip()


def version():
    text = open(os.path.join(ROOT, "CMakeLists.txt"), encoding="utf-8").read()
    return re.search(r"project\(VarenGlaze2 VERSION ([\d.]+)", text).group(1)


def glaze(build, source, target, values):
    args = [os.path.join(ROOT, "scripts", "glazehost.sh"), "--quiet", "--overwrite"]
    for key, value in sorted(values.items()):
        args += ["--set", "%s=%g" % (key, value)]
    env = dict(os.environ, GLAZEHOST_BUILD=build)
    result = subprocess.run(args + [source, target], env=env, capture_output=True, text=True)
    if result.returncode != 0 or not os.path.exists(target):
        sys.exit("build.py: glazehost failed for %s:\n%s%s" % (values, result.stdout,
                                                               result.stderr))


def crops(build, pictures, params):
    """Before/after crops of each parameter; returns nothing, writes params-KEY-lo/hi.png."""
    work = os.path.join(pictures, "work")
    os.makedirs(work, exist_ok=True)
    region = os.path.join(work, "region.png")
    Image.open(os.path.join(ROOT, "samples", "sample.png")).convert("RGB").crop(REGION).save(
        region)
    Image.open(region).crop(CROP).save(os.path.join(pictures, "original.png"))
    done = {}

    def picture(values, name):
        key = tuple(sorted(values.items()))
        if key not in done:
            filtered = os.path.join(work, "f%d.png" % len(done))
            glaze(build, region, filtered, values)
            done[key] = filtered
        Image.open(done[key]).crop(CROP).save(os.path.join(pictures, name))

    picture(dict(BASE), "base.png")
    for key, lo, hi, extra in SHOWN:
        for value, end in ((lo, "lo"), (hi, "hi")):
            values = dict(BASE)
            values.update(extra)
            values[key] = value
            picture(values, "param-%s-%s.png" % (key.rstrip("_"), end))


def screenshots(build, pictures):
    """The dialog on the bundled sample with the predefined presets, taken by guide_pictures."""
    exe = os.path.join(build, "tests", "ship", "guide_pictures.exe")
    if not os.path.exists(exe):
        sys.exit("build.py: %s is not built (cmake --build --preset win64 --target "
                 "guide_pictures)" % exe)
    result = subprocess.run([os.path.join(ROOT, "cmake", "wine-run.sh"),
                             os.path.join(build, "wineprefix"), exe, "Z:" + pictures],
                            capture_output=True, text=True)
    wanted = ["dialog-clean.png", "dialog-edges.png", "dialog-fit-texture.png", "preferences.png"]
    if result.returncode != 0 or not all(os.path.exists(os.path.join(pictures, w))
                                         for w in wanted):
        sys.exit("build.py: guide_pictures failed:\n%s%s" % (result.stdout, result.stderr))


def cell(text):
    """A table cell of the README as HTML: `code` spans kept whole on one line."""
    return re.sub(r"`([^`]+)`", r"<code class='nowrap'>\1</code>", html.escape(text))


def readme_table():
    """The compatibility table of the README as HTML."""
    text = open(os.path.join(ROOT, "README.md"), encoding="utf-8").read()
    block = text.split("<!-- compatibility: begin -->")[1].split("<!-- compatibility: end -->")[0]
    rows = [line.strip().strip("|").split(" | ") for line in block.strip().splitlines()
            if line.startswith("|") and not line.startswith("| ---")]
    if not rows:
        return "<p>(The compatibility table is made by the tests.)</p>"
    out = ["<table class='compat'><thead><tr>"]
    out += ["<th>%s</th>" % html.escape(c) for c in rows[0]]
    out.append("</tr></thead><tbody>")
    for row in rows[1:]:
        out.append("<tr>" + "".join("<td>%s</td>" % cell(c) for c in row) + "</tr>")
    out.append("</tbody></table>")
    return "".join(out)


def fill(template, params):
    def param_row(key):
        p = params[key]
        return ("<tr><td>%s</td><td>%s</td><td>%s to %s</td><td>%s</td><td><code>%s</code></td>"
                "</tr>" % (html.escape(p["name"]), html.escape(p["label"]),
                           number(p["min"], p["fmt"]), number(p["max"], p["fmt"]),
                           number(p["default"], p["fmt"]), key))

    def replace(match):
        what, _, arg = match.group(1).partition(":")
        if what == "version":
            return version()
        if what == "param-table":
            return "".join(param_row(k) for k in ["CIT_", "CRD_", "CTH_", "ESP_", "ERD_", "ELA_",
                                                  "TKT_", "TBT_", "TRN_"])
        if what == "compat-table":
            return readme_table()
        if what == "contents":
            return match.group(0)  # filled in once the headings have their anchors
        p = params[arg]
        if what == "range":
            return "%s to %s" % (number(p["min"], p["fmt"]), number(p["max"], p["fmt"]))
        if what == "default":
            return number(p["default"], p["fmt"])
        if what in ("lo", "hi"):
            for key, lo, hi, _ in SHOWN:
                if key == arg:
                    return number(lo if what == "lo" else hi, p["fmt"])
        sys.exit("build.py: unknown placeholder {{%s}}" % match.group(1))

    return contents(re.sub(r"\{\{([\w:-]+)\}\}", replace, template))


def contents(page):
    """Gives every chapter and section an anchor and puts their list where {{contents}} is."""
    entries = []

    def anchor(match):
        level, attrs, title = match.group(1), match.group(2), match.group(3)
        found = re.search(r'id="([^"]+)"', attrs)
        ident = found.group(1) if found else "s%d" % len(entries)
        entries.append((level, ident, re.sub(r"<[^>]+>", "", title)))
        if not found:
            attrs += ' id="%s"' % ident
        return "<h%s%s>%s</h%s>" % (level, attrs, title, level)

    toc_start = page.index("{{contents}}")
    body = re.sub(r"<h([12])([^>]*)>(.*?)</h\1>", anchor, page[toc_start:], flags=re.S)
    out = ["<ol>"]
    open_sub = False
    for level, ident, title in entries:
        link = '<li><a href="#%s">%s</a>' % (ident, title)
        if level == "1":
            if open_sub:
                out.append("</ol></li>")
                open_sub = False
            elif len(out) > 1:
                out.append("</li>")
            out.append(link)
        else:
            if not open_sub:
                out.append("<ol>")
                open_sub = True
            out.append(link + "</li>")
    out.append("</ol></li></ol>" if open_sub else "</li></ol>")
    return page[:toc_start] + body.replace("{{contents}}", "".join(out), 1)


def main():
    if len(sys.argv) != 3:
        sys.exit(__doc__)
    build, pdf = os.path.abspath(sys.argv[1]), os.path.abspath(sys.argv[2])
    out = os.path.join(build, "guide")
    pictures = os.path.join(out, "pictures")
    os.makedirs(pictures, exist_ok=True)
    params = parameter_table()
    crops(build, pictures, params)
    screenshots(build, pictures)
    for name in ("guide.css",):
        shutil.copy(os.path.join(HERE, name), os.path.join(out, name))
    page = fill(open(os.path.join(HERE, "UsersGuide.html"), encoding="utf-8").read(), params)
    with open(os.path.join(out, "UsersGuide.html"), "w", encoding="utf-8") as f:
        f.write(page)
    subprocess.run(["weasyprint", os.path.join(out, "UsersGuide.html"), pdf], check=True)


if __name__ == "__main__":
    main()
