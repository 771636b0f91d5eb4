#!/usr/bin/python3
"""The page edit judged by a standard HTML parser (html5lib).

Runs the real page edit (page_edit_referee_driver, over html::ProcessPage)
over real pages, the HTML that Debian's documentation packages install under
/usr/share/doc, and over pages derived from them with what real sites hold
(scripts that write "<body>", comments, textareas, noframes, templates,
frameset pages, UTF-16), and over the page-edit fuzz inputs. For every page
it edits, html5lib must find the block's applet exactly once, inside the
body the standard's tree builder makes, in no raw text, comment or template;
a second run must give the same bytes, and RemovePlayer the page's own.
Pages the edit refuses are checked for the reason: frameset pages must be
framesets to html5lib too. A few derived pages then go through the real
sonavelt-cli run.

Exit status 0 when everything holds, 1 otherwise, 77 (skipped) without
html5lib or without pages under /usr/share/doc.
"""

import argparse
import os
import re
import shutil
import subprocess
import sys
import tempfile

try:
    import html5lib
except ImportError:
    print("SKIP: python3-html5lib is not installed")
    sys.exit(77)

MARKER = "sonaveltrandomeventbackground"
MAX_REAL_PAGES = 320
MAX_PAGE_BYTES = 1 << 20
DERIVED_FROM = 30  # real pages that derived pages are made from

failures = []


def fail(what, reason):
    failures.append(f"{what}: {reason}")


def real_pages():
    pages = []
    for root, _, files in os.walk("/usr/share/doc"):
        for name in files:
            if name.lower().endswith((".html", ".htm")):
                path = os.path.join(root, name)
                if os.path.isfile(path) and not os.path.islink(path) and \
                        0 < os.path.getsize(path) <= MAX_PAGE_BYTES:
                    pages.append(path)
    pages.sort()
    if len(pages) > MAX_REAL_PAGES:
        # Every k-th page, so that each package's pages are there.
        step = len(pages) / MAX_REAL_PAGES
        pages = [pages[int(i * step)] for i in range(MAX_REAL_PAGES)]
    return pages


def decoded(data):
    """The page as text, the way a browser decodes it for tokenizing."""
    if data.startswith(b"\xff\xfe"):
        return data[2:].decode("utf-16-le", "surrogatepass")
    if data.startswith(b"\xfe\xff"):
        return data[2:].decode("utf-16-be", "surrogatepass")
    # Tags are ASCII: a byte-for-byte decoding keeps them where they are.
    return data.decode("latin-1")


def parse(data):
    return html5lib.parse(decoded(data), treebuilder="etree", namespaceHTMLElements=False)


def is_frameset(document):
    return document.find("frameset") is not None and document.find("body") is None


def check_edited(what, original, edited):
    """The block's applet, as html5lib builds the edited page."""
    if decoded(original).lower().count(MARKER) != 0:
        return  # a page that already carries the marker is not judged here
    text = decoded(edited)
    if text.lower().count(MARKER) != 1:
        fail(what, "the marker is not in the edited page exactly once")
        return
    document = parse(edited)
    parents = {child: parent for parent in document.iter() for child in parent}
    applets = [e for e in document.iter() if isinstance(e.tag, str) and e.tag == "applet" and
               e.get("code", "").lower() == MARKER]
    if len(applets) != 1:
        fail(what, f"html5lib finds {len(applets)} block applets (raw text or comment?)")
        return
    applet = applets[0]
    path = []
    node = applet
    while node in parents:
        node = parents[node]
        path.append(node.tag)
    if "body" not in path:
        fail(what, "the block is not in the body: " + "/".join(reversed(path)))
    for hidden in ("template", "noscript", "noframes", "textarea", "select"):
        if hidden in path:
            fail(what, f"the block is inside <{hidden}>")
    if "You will hear sounds" not in "".join(applet.itertext()):
        fail(what, "the block's text is not inside its applet")


def swallows_the_end(original):
    """Whether an applet put at the very end of the page is no element in
    its body (it is text in a comment, a textarea, a script...)."""
    probe = '<applet code="SonaveltRandomEventBackground">probe</applet>'
    if "<noscript" in decoded(original).lower():
        return True  # html5lib reads noscript as a browser without scripts does: no judge
    document = html5lib.parse(decoded(original) + probe, treebuilder="etree",
                              namespaceHTMLElements=False)
    parents = {child: parent for parent in document.iter() for child in parent}
    for e in document.iter():
        if e.tag == "applet" and e.get("code", "").lower() == MARKER:
            node, path = e, []
            while node in parents:
                node = parents[node]
                path.append(node.tag)
            # A noscript's content is text to a browser that runs scripts
            # (html5lib reads it as a browser without scripts does).
            if "body" in path and "template" not in path and "noscript" not in path:
                return False
    return True


def run_driver(driver, pages, out_folder):
    results = []
    # In batches: a command line has a limit.
    for start in range(0, len(pages), 200):
        batch = pages[start:start + 200]
        batch_out = os.path.join(out_folder, str(start))
        os.makedirs(batch_out)
        out = subprocess.run([driver, batch_out] + batch, check=True, capture_output=True).stdout
        for line in out.decode("utf-8", "replace").splitlines():
            index, outcome, replaced, second, removed, body_edit, message = line.split("\t", 6)
            edited = None
            if outcome == "edited":
                with open(os.path.join(batch_out, index + ".htm"), "rb") as f:
                    edited = f.read()
            results.append((outcome, replaced == "1", second == "1", removed == "1", body_edit,
                            message, edited))
    return results


def judge(pages, results, expected=None):
    counts = {}
    for i, (path, result) in enumerate(zip(pages, results)):
        outcome, replaced, second_same, removed_same, _, message, edited = result
        counts[outcome] = counts.get(outcome, 0) + 1
        with open(path, "rb") as f:
            original = f.read()
        want = expected[i] if expected else None
        if want and outcome != want:
            fail(path, f"{outcome} where {want} was expected ({message})")
            continue
        if outcome == "edited":
            check_edited(path, original, edited)
            if not second_same:
                fail(path, "a second run changed the page")
            if not replaced and not removed_same:
                fail(path, "RemovePlayer did not give back the page's bytes")
        elif outcome == "frameset":
            if not is_frameset(parse(original)):
                fail(path, "refused as a frameset, but html5lib builds a body")
        elif message.startswith("Adding sounds to") and swallows_the_end(original):
            pass
        elif message.startswith("Adding sounds to"):
            fail(path, "refused for its end, but html5lib reads markup put there: " + message)
    return counts


# What derived pages add. Each is (name, function of the page's text giving
# the derived text or None, the outcome expected).
SCRIPT = ('<script>document.write("<body>hi</body>"); var footer = "</body>";'
          ' if (a <!--b) c(); // <\\/script></script>')


def insert_before(pattern, addition):
    def derive(text):
        m = re.search(pattern, text, re.I)
        return text[:m.start()] + addition + text[m.start():] if m else None
    return derive


def insert_after(pattern, addition):
    def derive(text):
        m = re.search(pattern, text, re.I)
        return text[:m.end()] + addition + text[m.end():] if m else None
    return derive


def frameset(text):
    m = re.search(r"</head\s*>", text, re.I)
    if not m:
        return None
    return (text[:m.end()] + '\n<frameset cols="30%,70%"><frame src="menu.htm">'
            '<frame src="main.htm"><noframes><body bgcolor=white>No frames.</body>'
            '</noframes></frameset></html>\n')


def unclosed_textarea(text):
    m = re.search(r"</body\s*>", text, re.I)
    if not m:
        return None
    cut = text[:m.start()]
    if re.search(r"</html\s*>", cut, re.I):
        return None
    return cut + "<textarea>notes"


def all_together(text):
    # Inserts after the BODY tag first: the head's script holds a "<body>".
    for derive in (DERIVED[1][1], DERIVED[2][1], DERIVED[3][1], DERIVED[5][1], DERIVED[0][1]):
        changed = derive(text)
        text = changed if changed is not None else text
    return text


BODY_TAG = r"<body(\s[^>]*)?>"
DERIVED = [
    ("script-in-head", insert_before(r"</head\s*>", SCRIPT), "edited"),
    ("script-in-body", insert_after(BODY_TAG, SCRIPT), "edited"),
    ("comment", insert_after(BODY_TAG, '<!-- <body bgcolor="red"> </body> </html> -->'), "edited"),
    ("textarea", insert_after(BODY_TAG, "<textarea><body></body></html></textarea>"), "edited"),
    ("noframes", insert_before(r"</head\s*>",
                               "<noframes><body>Your browser shows no frames.</body></noframes>"),
     "edited"),
    ("template", insert_after(BODY_TAG, "<template><body></body></html></template>"), "edited"),
    ("all-together", all_together, "edited"),
    ("frameset", frameset, "frameset"),
    ("unclosed-textarea", unclosed_textarea, "body-tag-error"),
]


def derived_pages(sources, folder):
    pages, expected = [], []
    for n, path in enumerate(sources):
        with open(path, "rb") as f:
            data = f.read()
        try:
            text = data.decode("utf-8")
        except UnicodeDecodeError:
            continue
        base = os.path.join(folder, f"{n}-{os.path.basename(path)}")
        for name, derive, outcome in DERIVED:
            changed = derive(text)
            if changed is None:
                continue
            out = f"{base}.{name}.htm"
            with open(out, "wb") as f:
                f.write(changed.encode("utf-8"))
            pages.append(out)
            expected.append(outcome)
        for name, codec, bom in (("utf16le", "utf-16-le", b"\xff\xfe"),
                                 ("utf16be", "utf-16-be", b"\xfe\xff")):
            out = f"{base}.{name}.htm"
            with open(out, "wb") as f:
                f.write(bom + (text + "\U0001F514").encode(codec))
            pages.append(out)
            expected.append("edited")
    return pages, expected


def fuzz_inputs(fuzz_dir):
    pages = []
    for kind in ("corpus", "regressions"):
        folder = os.path.join(fuzz_dir, kind, "page_edit")
        if os.path.isdir(folder):
            pages += sorted(os.path.join(folder, n) for n in os.listdir(folder))
    return pages


def cli_runs(cli, data, pages, work):
    """A few derived pages through the real command line."""
    data = os.path.abspath(data)
    install = os.path.join(work, "install")
    os.makedirs(os.path.join(install, "player"))
    shutil.copy(os.path.join(data, "SonaveltRandomEventBackground.class"), install)
    shutil.copy(os.path.join(data, "player", "sonavelt-player.js"), os.path.join(install, "player"))
    os.symlink(os.path.join(data, "audio"), os.path.join(install, "audio"))
    env = dict(os.environ)
    for var in ("XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_CACHE_HOME"):
        env[var] = os.path.join(work, var.lower())
    for source, want_status in pages:
        site = tempfile.mkdtemp(dir=work)
        page = os.path.join(site, "index.htm")
        shutil.copy(source, page)
        with open(page, "rb") as f:
            original = f.read()
        run = subprocess.run([cli, "run", "--install-folder", install, "--yes", "-q", "-n", "1",
                              "--no-background", page], env=env, capture_output=True)
        with open(page, "rb") as f:
            after = f.read()
        what = f"sonavelt-cli run {os.path.basename(source)}"
        message = run.stderr.decode("utf-8", "replace")
        if run.returncode != want_status:
            fail(what, f"exit {run.returncode}, expected {want_status}: {message}")
        elif want_status == 0:
            check_edited(what, original, after)
            if original.startswith((b"\xff\xfe", b"\xfe\xff")) and not after.startswith(original[:2]):
                fail(what, "the UTF-16 page lost its byte-order mark")
        else:
            if after != original:
                fail(what, "a refused page was changed")
            if "frameset page" not in message or "menu.htm" not in message:
                fail(what, "the refusal does not name the frames' pages: " + message)
            if os.listdir(site) != ["index.htm"]:
                fail(what, "a refused run left files beside the page: " + str(os.listdir(site)))


def main():
    parser = argparse.ArgumentParser()
    parser.add_argument("--driver", required=True)
    parser.add_argument("--cli")
    parser.add_argument("--data")
    parser.add_argument("--fuzz-dir")
    args = parser.parse_args()

    real = real_pages()
    if not real:
        print("SKIP: no HTML pages under /usr/share/doc")
        sys.exit(77)
    with tempfile.TemporaryDirectory(prefix="page-edit-referee-") as work:
        out = os.path.join(work, "out")
        os.makedirs(out)
        results = run_driver(args.driver, real, os.path.join(out, "real"))
        counts = judge(real, results)
        print(f"real pages: {len(real)} {counts}")

        sources = [p for p, r in zip(real, results) if r[0] == "edited"][:DERIVED_FROM]
        derived_folder = os.path.join(work, "derived")
        os.makedirs(derived_folder)
        derived, expected = derived_pages(sources, derived_folder)
        counts = judge(derived, run_driver(args.driver, derived, os.path.join(out, "derived")),
                       expected)
        print(f"derived pages: {len(derived)} from {len(sources)} {counts}")

        if args.fuzz_dir:
            fuzz = fuzz_inputs(args.fuzz_dir)
            counts = judge(fuzz, run_driver(args.driver, fuzz, os.path.join(out, "fuzz")))
            print(f"fuzz inputs: {len(fuzz)} {counts}")

        if args.cli and args.data:
            picks = []
            for suffix, status in ((".all-together.htm", 0), (".frameset.htm", 1),
                                   (".utf16le.htm", 0)):
                match = [p for p in derived if p.endswith(suffix)]
                if match:
                    picks.append((match[0], status))
            cli_runs(args.cli, args.data, picks, work)
            print(f"command-line runs: {len(picks)}")

    for f in failures[:40]:
        print("FAIL", f)
    print(f"{len(failures)} failures")
    sys.exit(1 if failures else 0)


if __name__ == "__main__":
    main()
