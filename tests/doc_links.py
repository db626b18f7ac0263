#!/usr/bin/env python3
"""Every relative link in the documentation reaches its file and its heading.

    doc_links.py PATH...     Markdown files, or folders whose *.md files are read
    doc_links.py --zip ZIP   the README.txt in ZIP names only files that ZIP holds

Besides each link, every page must be linked from another one (the first PATH, the
README, is where a reader starts), so that no page is out of a reader's reach; and the
README stays short enough for a newcomer to read in two minutes.
"""
import fnmatch
import re
import sys
import zipfile
from pathlib import Path
from urllib.parse import unquote

LINK = re.compile(r"!?\[(?:[^\]\\]|\\.)*\]\(\s*<?([^)\s>]+)>?(?:\s+\"[^\"]*\")?\s*\)")
CODE_SPAN = re.compile(r"(`+)(?:(?!\1).)+?\1")
README_LINES = 150


def lines(path):
    """(line number, text) of each line outside fenced code."""
    fenced = False
    for number, line in enumerate(path.read_text(encoding="utf-8").splitlines(), 1):
        if re.match(r"\s*(```|~~~)", line):
            fenced = not fenced
        elif not fenced:
            yield number, line


def anchors(path):
    """The anchors GitHub gives the page's headings."""
    return {re.sub(r"[^\w\- ]", "", heading.group(1).strip().lower()).replace(" ", "-")
            for _, line in lines(path) for heading in [re.match(r"#{1,6}\s+(.*)", line)] if heading}


def check_pages(paths):
    pages = []
    for given in map(Path, paths):
        pages += sorted(given.glob("*.md")) if given.is_dir() else [given]
    faults, reached, links = [], set(), 0
    for page in pages:
        for number, line in lines(page):
            for target in LINK.findall(CODE_SPAN.sub("", line)):
                if re.match(r"[a-z][a-z0-9+.-]*:", target, re.I):
                    continue  # an address elsewhere: not ours to check offline
                links += 1
                file_part, _, anchor = unquote(target).partition("#")
                goal = (page.parent / file_part).resolve() if file_part else page.resolve()
                where = f"{page}:{number}: {target}"
                if not goal.is_file():
                    faults.append(f"{where}: no such file")
                    continue
                if goal != page.resolve():
                    reached.add(goal)
                if anchor and anchor not in anchors(goal):
                    faults.append(f"{where}: no heading with that anchor")
    if pages and pages[0].name == "README.md":
        length = len(pages[0].read_text(encoding="utf-8").splitlines())
        if length > README_LINES:
            faults.append(f"{pages[0]}: {length} lines, more than {README_LINES}")
    for page in pages[1:]:
        if page.resolve() not in reached:
            faults.append(f"{page}: no other page links to it")
    return faults, f"{links} links in {len(pages)} pages"


def check_zip(archive):
    with zipfile.ZipFile(archive) as packed:
        names = packed.namelist()
        readme = packed.read(next(n for n in names if n.endswith("README.txt"))).decode()
    held = {n.rstrip("/") for n in names}
    named = set(re.findall(r"(?<![\w/:.-])([\w*-]+(?:/[\w*-]+)*\.(?:html|js|css|json|wasm|txt"
                           r"|svg|png|webmanifest|md)|[\w-]+/)(?![\w/])", readme))
    return [f"{archive}: README.txt names {name}, which the zip lacks" for name in sorted(named)
            if not fnmatch.filter(held, name.rstrip("/"))], len(named)


def main(arguments):
    if arguments[:1] == ["--zip"]:
        faults, count = check_zip(arguments[1])
        what = f"{count} file names in README.txt"
    else:
        faults, what = check_pages(arguments)
    for fault in faults:
        print(fault)
    print(f"{what}: {len(faults)} fault(s)")
    return 1 if faults else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
