"""The help page parses as strict HTML5 (html5lib) and its links within the
page lead somewhere."""
import sys

import html5lib

path = sys.argv[1]
with open(path, "rb") as f:
    try:
        doc = html5lib.HTMLParser(strict=True, namespaceHTMLElements=False).parse(f)
    except Exception as e:  # html5lib raises ParseError with the position
        sys.exit(f"{path}: not strict HTML5: {e}")
ids = {e.get("id") for e in doc.iter() if e.get("id")}
broken = [a.get("href") for a in doc.iter("a")
          if a.get("href", "").startswith("#") and a.get("href")[1:] not in ids]
if broken:
    sys.exit(f"{path}: links to nothing: {broken}")
if doc.find(".//title") is None or not doc.find(".//title").text:
    sys.exit(f"{path}: no title")
print(f"{path}: {len(ids)} sections, links fine")
