#!/usr/bin/python3
"""The guides quillora-export writes, read back with tools nobody here wrote:
html5lib and headless Chromium for the page, cmark for the Markdown,
poppler and qpdf for the PDF.

check_guides.py QUILLORA_EXPORT OUTPUT_DIR
"""
import base64
import json
import os
import shutil
import subprocess
import sys
import tempfile

import html5lib

EXPORT, OUT = sys.argv[1], sys.argv[2]
failures = []


def check(ok, what):
    if not ok:
        failures.append(what)
        print("FAIL:", what, file=sys.stderr)


def run(*args, **kw):
    return subprocess.run(list(args), capture_output=True, text=True, **kw)


def export(*args):
    return run(EXPORT, *args)


def jpeg(path, w, h, colour):
    subprocess.run(["convert", "-size", f"{w}x{h}", f"xc:{colour}", "-quality", "92", path],
                   check=True)


def ppm(data):
    """(width, height, rgb bytes) of a binary PPM."""
    parts, i = [], 0
    while len(parts) < 4:
        while data[i:i + 1].isspace():
            i += 1
        j = i
        while not data[j:j + 1].isspace():
            j += 1
        parts.append(data[i:j])
        i = j
    w, h = int(parts[1]), int(parts[2])
    return w, h, data[i + 1:i + 1 + w * h * 3]


def is_ring_colour(p):
    r, g, b = p
    return r > 190 and g > 160 and b < 110


def ring_near(img, x, y, radius, scale, bounds=None):
    """Whether the light stroke of the ring lies around (x, y): looked for on
    the four sides, a few pixels either way for the rounding of positions."""
    w, h, rgb = img
    x0, y0, x1, y1 = bounds or (0, 0, w, h)  # the picture in the image
    found = sides = 0
    for dx, dy in ((-1, 0), (1, 0), (0, -1), (0, 1)):
        hit = False
        inside = x0 <= x + dx * radius < x1 and y0 <= y + dy * radius < y1
        for d in range(int(radius - 3 * scale), int(radius + 3 * scale) + 1):
            px, py = int(x + dx * d), int(y + dy * d)
            if 0 <= px < w and 0 <= py < h:
                k = (py * w + px) * 3
                hit = hit or is_ring_colour(rgb[k:k + 3])
        sides += inside
        found += hit
    # Near an edge of the picture part of the ring is cut off.
    return found >= 2 and found >= sides - 1


def centre_is(img, x, y, colour, tol=30):
    w, h, rgb = img
    k = (int(y) * w + int(x)) * 3
    return all(abs(a - b) <= tol for a, b in zip(rgb[k:k + 3], colour))


CAPTION = 'Press <b>Save</b> & "go" *now* [x](http://e.example) \\ # 1. `c`'
work = tempfile.mkdtemp(prefix="quillora-guide-check-")
os.makedirs(OUT, exist_ok=True)
try:
    # A recorded project: light, dark and blue screens, a caption with
    # markup characters on the first, two captions on the third, none on
    # the second; plus a mixed one with a missing picture and a sound.
    W, H = 480, 360
    RADIUS = 12  # the ring of a picture this small
    colours = [("gray94", (240, 240, 240)), ("gray10", (26, 26, 26)), ("#3060c0", (48, 96, 192))]
    points = [(100, 80), (240, 200), (470, 10)]
    objs = []
    for i, (c, _) in enumerate(colours):
        jpeg(f"{work}/s{i + 1}.jpg", W, H, c)
        mx, my = points[i]
        objs.append(f"<Obj><Demo></Demo><MouseX>{mx}</MouseX><MouseY>{my}</MouseY>"
                    f"<ObjName>Pic{i + 1}</ObjName><StartTime>{24 * i}</StartTime>"
                    f"<EndTime>{24 * i + 24}</EndTime><Layer>2</Layer><ObjTypeName>Pic</ObjTypeName>"
                    f"<ObjType><ObjPic><Content>s{i + 1}.jpg</Content><PositionX>0</PositionX>"
                    f"<PositionY>0</PositionY><Width>{W}</Width><Height>{H}</Height>"
                    "<EffectName>None</EffectName></ObjPic></ObjType></Obj>")

    def text(start, end, content):
        return (f"<Obj><Demo></Demo><MouseX>0</MouseX><MouseY>0</MouseY><ObjName>T{start}</ObjName>"
                f"<StartTime>{start}</StartTime><EndTime>{end}</EndTime><Layer>3</Layer>"
                "<ObjTypeName>Text</ObjTypeName><ObjType><ObjText><Content><![CDATA["
                f"{content}]]></Content><FontName>Sans</FontName><FontSize>18</FontSize>"
                "<FontColor>0</FontColor><PositionX>5</PositionX><PositionY>5</PositionY>"
                "<EffectName>None</EffectName><TextUnit>1</TextUnit></ObjText></ObjType></Obj>")

    def project(name, items):
        with open(f"{work}/{name}", "w") as f:
            f.write("<Movie><BgColor>16777215</BgColor><Width>%d</Width><Height>%d</Height>"
                    "<Rate>15</Rate><TotalFrames>0</TotalFrames><Loop>False</Loop>%s</Movie>"
                    % (W, H, "".join(items)))
        return f"{work}/{name}"

    texts = [CAPTION, "Step 2", "Click OK\nThen close"]
    rec = project("Demo guide.qlv", objs + [text(0, 24, CAPTION), text(60, 70, "Then close"),
                                            text(48, 72, "Click OK")])
    originals = [open(f"{work}/s{i + 1}.jpg", "rb").read() for i in range(3)]

    # --help and names that are no format.
    r = export("--help")
    check(r.returncode == 0 and all(e in r.stdout for e in (".html", ".md", ".pdf", "--paper")),
          "--help lists the guide formats and --paper")
    for bad in ("notes.txt", "guide", "guide.htm"):
        r = export(rec, f"{work}/{bad}")
        check(r.returncode == 2 and ".pdf" in r.stderr and ".swf" in r.stderr,
              f"{bad}: refused with the formats ({r.returncode}: {r.stderr})")
        check(not os.path.exists(f"{work}/{bad}"), f"{bad}: no file")
    r = export("--paper", "a3", rec, f"{work}/x.pdf")
    check(r.returncode == 2 and not os.path.exists(f"{work}/x.pdf"), "--paper a3 refused")

    # HTML: a valid HTML5 document, the original pictures, the texts as text.
    r = export(rec, f"{work}/guide.html")
    check(r.returncode == 0, f"html export: {r.stderr}")
    page = open(f"{work}/guide.html", "rb").read()
    check(len(page) < 1.4 * sum(map(len, originals)) + 8000, "html within 1.4x the pictures")
    try:
        doc = html5lib.HTMLParser(strict=True, namespaceHTMLElements=False).parse(page)
    except Exception as e:  # a parse error of any kind
        check(False, f"html5lib strict parse: {e}")
        doc = html5lib.parse(page, namespaceHTMLElements=False)
    check(doc.get("lang"), "html has a language")
    check(doc.find(".//title").text == "Demo guide", "html title")
    check(doc.find(".//h1").text == "Demo guide", "html h1")
    check(not doc.findall(".//script"), "html has no script")
    steps = doc.findall(".//li")
    check(len(steps) == 3, "html has three steps")
    for i, li in enumerate(steps):
        check(li.find("h2").text == f"Step {i + 1}", f"html step {i + 1} heading")
        paras = [p.text for p in li.findall("p")]
        want = [] if i == 1 else texts[i].split("\n")
        check(paras == want, f"html step {i + 1} text {paras!r}")
        img = li.find(".//img")
        check(img.get("alt") == texts[i], f"html step {i + 1} alt {img.get('alt')!r}")
        src = img.get("src")
        check(src.startswith("data:image/jpeg;base64,") and
              base64.b64decode(src.split(",", 1)[1]) == originals[i],
              f"html step {i + 1} embeds the JPEG as it is")
        circles = li.findall(".//{http://www.w3.org/2000/svg}circle")
        check(circles and abs(float(circles[0].get("cx")) - points[i][0] - 0.5) < 0.01 and
              abs(float(circles[0].get("cy")) - points[i][1] - 0.5) < 0.01,
              f"html step {i + 1} ring at the pointer")
    check(b"break-inside:avoid" in page and b"@media print" in page, "html print styles")

    chromium = shutil.which("chromium")
    shot = os.path.join(OUT, "guide-html.png")
    if chromium:
        r = run(chromium, "--headless", "--no-sandbox", "--disable-gpu", "--hide-scrollbars",
                "--window-size=600,1400", f"--screenshot={shot}",
                "file://" + f"{work}/guide.html", timeout=120)
    if not chromium or not os.path.exists(shot):
        print("SKIP: chromium cannot run here; the HTML page was not opened", file=sys.stderr)
    else:
        img = ppm(subprocess.run(["convert", shot, "ppm:-"], capture_output=True).stdout)
        rings = sum(is_ring_colour(img[2][k:k + 3]) for k in range(0, len(img[2]), 3))
        check(rings > 50, f"chromium shows the rings ({rings} ring pixels)")

    # Markdown, rendered by cmark: the same texts, pictures in the folder,
    # links that work when file and folder move together.
    r = export(rec, f"{work}/guide.md")
    check(r.returncode == 0, f"md export: {r.stderr}")
    moved = f"{work}/moved"
    os.makedirs(moved)
    shutil.move(f"{work}/guide.md", moved)
    shutil.move(f"{work}/guide_files", moved)
    html = run("cmark", f"{moved}/guide.md").stdout
    md = html5lib.parse(html, namespaceHTMLElements=False)
    check(md.find(".//h1").text == "Demo guide", "md title")
    check([h.text for h in md.findall(".//h2")] == ["Step 1", "Step 2", "Step 3"], "md headings")
    check(not md.findall(".//b") and not md.findall(".//em") and not md.findall(".//a")
          and not md.findall(".//code") and not md.findall(".//ol"), "md captions stay text")
    paras = ["".join(p.itertext()) for p in md.findall(".//p") if p.find("img") is None]
    check(paras == [CAPTION, "Click OK", "Then close"], f"md texts {paras!r}")
    imgs = md.findall(".//img")
    check([i.get("alt") for i in imgs] == [CAPTION, "Step 2", "Click OK Then close"],
          f"md alt texts {[i.get('alt') for i in imgs]!r}")
    for n, i in enumerate(imgs):
        src = i.get("src")
        path = os.path.join(moved, src)
        check(not os.path.isabs(src) and os.path.isfile(path), f"md link {src} works moved")
        if os.path.isfile(path):
            pic = ppm(subprocess.run(["convert", path, "ppm:-"], capture_output=True).stdout)
            x, y = points[n][0] + 0.5, points[n][1] + 0.5
            check(ring_near(pic, x, y, RADIUS, 1), f"md picture {n + 1}: ring at the pointer")
            check(centre_is(pic, x, y, colours[n][1]), f"md picture {n + 1}: point stays clear")

    # PDF: pages, text, outline, the JPEGs unchanged, the ring over them.
    r = export(rec, f"{work}/guide.pdf")
    check(r.returncode == 0, f"pdf export: {r.stderr}")
    pdf = f"{work}/guide.pdf"
    check(os.path.getsize(pdf) < 1.1 * sum(map(len, originals)) + 40000, "pdf size")
    info = run("pdfinfo", pdf).stdout
    pages = int([l.split()[1] for l in info.splitlines() if l.startswith("Pages:")][0])
    check(pages >= 2, f"pdf pages {pages}")
    check("595.276 x 841.89" in info or "612 x 792" in info, "pdf paper " + info)
    words = run("pdftotext", pdf, "-").stdout
    check(words.lstrip().startswith("Demo guide"), "pdf title first")
    at = [words.find(s) for s in ("Step 1", "Press <b>Save</b>", "Step 2", "Step 3", "Click OK",
                                  "Then close", f"Page 1 of {pages}")]
    check(all(a >= 0 for a in at) and at[:6] == sorted(at[:6]), f"pdf text in order {at}")
    outline = json.loads(run("qpdf", "--json", pdf).stdout)["outlines"]
    titles = [o["title"] for o in outline]
    check(len(titles) == 3 and titles[1] == "Step 2" and titles[0].startswith("Step 1: Press")
          and titles[2] == "Step 3: Click OK", f"pdf outline {titles}")
    listing = run("pdfimages", "-list", pdf).stdout.splitlines()[2:]
    check(len(listing) == 3 and all(l.split()[8] == "jpeg" for l in listing), "pdf images are jpeg")
    imgdir = tempfile.mkdtemp(dir=work)
    run("pdfimages", "-all", pdf, f"{imgdir}/img")
    extracted = [open(f"{imgdir}/{n}", "rb").read() for n in sorted(os.listdir(imgdir))]
    check(extracted == originals, "pdf carries the JPEG files byte for byte")
    # Where each picture is on its page, in points, and the ring over it.
    xml = run("pdftohtml", "-xml", "-zoom", "1", "-i", "-stdout", pdf, cwd=imgdir).stdout
    xml = run("pdftohtml", "-xml", "-zoom", "1", "-stdout", pdf, cwd=imgdir).stdout
    placed = []
    page_no = 0
    for line in xml.splitlines():
        line = line.strip()
        if line.startswith("<page "):
            page_no = int(line.split('number="')[1].split('"')[0])
        if line.startswith("<image "):
            v = {k: float(line.split(f'{k}="')[1].split('"')[0])
                 for k in ("top", "left", "width", "height")}
            placed.append((page_no, v))
    check(len(placed) == 3, f"pdf placements {placed}")
    dpi = 144
    k = dpi / 72
    for n, (p, v) in enumerate(placed):
        png = f"{imgdir}/page{n}"
        run("pdftoppm", "-r", str(dpi), "-f", str(p), "-l", str(p), "-singlefile", pdf, png)
        img = ppm(open(png + ".ppm", "rb").read())
        scale = v["width"] / W
        x = (v["left"] + (points[n][0] + 0.5) * scale) * k
        y = (v["top"] + (points[n][1] + 0.5) * scale) * k
        radius = max(RADIUS * scale, 6) * k
        box = (v["left"] * k, v["top"] * k, (v["left"] + v["width"]) * k,
               (v["top"] + v["height"]) * k)
        check(ring_near(img, x, y, radius, k, box), f"pdf step {n + 1}: ring at the pointer")
        check(centre_is(img, x, y, colours[n][1]), f"pdf step {n + 1}: point stays clear")
    shutil.copy(pdf, os.path.join(OUT, "guide.pdf"))
    r = export("--paper", "letter", rec, f"{work}/letter.pdf")
    check("612 x 792" in run("pdfinfo", f"{work}/letter.pdf").stdout, "--paper letter")
    r = export("--paper=a4", rec, f"{work}/a4.pdf")
    check("595.276 x 841.89" in run("pdfinfo", f"{work}/a4.pdf").stdout, "--paper=a4")

    # Mixed: a missing picture is a step with a placeholder, and reported.
    mixed = project("mixed.qlv", [objs[0], objs[1].replace("s2.jpg", "gone.jpg"), objs[2],
                                  text(24, 48, "Where the picture was")])
    for ext in ("html", "md", "pdf"):
        r = export(mixed, f"{work}/mixed.{ext}")
        check(r.returncode == 0 and "step 2" in r.stderr and f"{work}/gone.jpg" in r.stderr,
              f"mixed {ext}: written, step 2 reported ({r.returncode}: {r.stderr})")
    check(f"Picture missing: {work}/gone.jpg" in open(f"{work}/mixed.html").read(),
          "html placeholder names the file")
    words = run("pdftotext", f"{work}/mixed.pdf", "-").stdout
    check("Picture missing:" in words and "Where the picture was" in words, "pdf placeholder")
    check(len(run("pdfimages", "-list", f"{work}/mixed.pdf").stdout.splitlines()) == 4,
          "pdf of the mixed project has the two pictures there are")

    # No pictures: a message, and no file.
    empty = project("empty.qlv", [text(0, 24, "only text")])
    for ext in ("html", "md", "pdf"):
        r = export(empty, f"{work}/empty.{ext}")
        check(r.returncode == 1 and "no pictures" in r.stderr, f"empty {ext}: {r.stderr}")
        check(not os.path.exists(f"{work}/empty.{ext}"), f"empty {ext}: no file")
    check(not os.path.exists(f"{work}/empty_files"), "empty md: no folder")
finally:
    shutil.rmtree(work, ignore_errors=True)

if failures:
    print(f"{len(failures)} check(s) failed", file=sys.stderr)
    sys.exit(1)
print("all guide checks passed")
