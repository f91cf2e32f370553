#!/usr/bin/env python3
"""Checks the self-contained web pages in a folder: each parses as HTML 5 (html5lib, strict) and names no address
outside the file: every src is a data:image/ address, every href http(s)/ftp with a host, mailto: or "#name".
Prints one line per fault; exit status 1 when there was any."""

import pathlib
import re
import sys
from urllib.parse import urlsplit

import html5lib

ADDRESS_ATTRIBUTES = ("src", "href", "background", "poster", "data", "action", "formaction", "srcset", "cite")


def kept_link(value):
    if value.startswith("#"):
        return len(value) > 1
    parts = urlsplit(value)
    scheme = parts.scheme.lower()
    if scheme == "mailto":
        return True
    return scheme in ("http", "https", "ftp") and bool(parts.netloc)


def check(path):
    faults = []
    text = path.read_bytes()
    parser = html5lib.HTMLParser(strict=False, namespaceHTMLElements=False)
    tree = parser.parse(text)
    for position, code, _ in parser.errors:
        faults.append(f"{path.name}: HTML 5 parse error {code} at {position}")
    for element in tree.iter():
        tag = element.tag if isinstance(element.tag, str) else ""
        if tag in ("script", "iframe", "object", "embed", "link", "base", "frame"):
            faults.append(f"{path.name}: element <{tag}>")
        for name, value in element.attrib.items():
            name = name.lower()
            if name.startswith("on"):
                faults.append(f"{path.name}: event attribute {name}")
            if name not in ADDRESS_ATTRIBUTES:
                continue
            good = value.startswith("data:image/") if name == "src" else (name == "href" and kept_link(value))
            if not good:
                faults.append(f"{path.name}: <{tag} {name}=\"{value[:80]}\">")
        style = element.attrib.get("style", "")
        if re.search(r"url\s*\(", style, re.I):
            faults.append(f"{path.name}: url() in a style")
    if re.search(rb"@import|url\s*\(\s*['\"]?(?!data:)", text, re.I):
        faults.append(f"{path.name}: a style sheet names an address")
    return faults


def main():
    folder = pathlib.Path(sys.argv[1])
    pages = sorted(folder.glob("*.html"))
    faults = [f for page in pages for f in check(page)]
    for fault in faults:
        print(fault)
    print(f"{len(pages)} pages checked, {len(faults)} faults")
    return 1 if faults or not pages else 0


if __name__ == "__main__":
    sys.exit(main())
