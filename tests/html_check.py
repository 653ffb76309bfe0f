#!/usr/bin/env python3
"""Reads an HTML file with html5lib's strict parser (Debian's
python3-html5lib): prints the first fault and ends with status 1, or ends
with status 0 when the file is valid HTML5."""
import sys

import html5lib

with open(sys.argv[1], "rb") as document:
    data = document.read()
try:
    html5lib.HTMLParser(strict=True).parse(data)
except html5lib.html5parser.ParseError as fault:
    print(f"{sys.argv[1]}: {fault}")
    sys.exit(1)
