#!/usr/bin/env python3
"""The texts a user of the desktop program reads, and their catalogues in po/.

The source texts are the Chinese ones: string literals holding CJK characters in ui/, app/ and
toolkit/ (adjacent literals joined, comments skipped; a literal on a line carrying the comment
"not translated" is left out, e.g. a font's name), and the text and tooltip attributes of the
skin's layouts (skin/layouts/*.xml).

  po-texts.py pot ROOT OUT.pot     writes the template (make po: and merges it into po/*.po)
  po-texts.py check ROOT PO...     fails listing each text without a translation in each PO, and
                                   each fuzzy or obsolete entry
  po-texts.py list ROOT            prints the texts, one reference and text a line
"""
import re
import sys
import xml.etree.ElementTree as ET
from pathlib import Path

CODE_DIRS = ("ui", "app", "toolkit")
CJK = re.compile("[\u3000-\u303f\u3400-\u9fff\uf900-\ufaff\uff00-\uffef]")
SIMPLE_ESCAPES = {"n": "\n", "r": "\r", "t": "\t", '"': '"', "'": "'", "\\": "\\", "?": "?", "a": "\a",
                  "b": "\b", "f": "\f", "v": "\v", "0": "\0"}


def decode_literal(body):
    """The text of a C++ string literal's body (between the quotes), UTF-8 source."""
    out, i = [], 0
    while i < len(body):
        c = body[i]
        if c != "\\":
            out.append(c)
            i += 1
            continue
        e = body[i + 1]
        if e in "uU":
            n = 4 if e == "u" else 8
            out.append(chr(int(body[i + 2:i + 2 + n], 16)))
            i += 2 + n
        elif e == "x":
            m = re.match(r"[0-9a-fA-F]+", body[i + 2:])
            out.append(chr(int(m.group(0), 16)))
            i += 2 + len(m.group(0))
        else:
            out.append(SIMPLE_ESCAPES[e])
            i += 2
    return "".join(out)


def code_texts(path):
    """(line, text) of each CJK string literal of a C++ file, adjacent literals joined."""
    src = path.read_text(encoding="utf-8")
    lines = src.split("\n")
    found, i, pending, pending_line, last_end = [], 0, None, 0, 0
    token = re.compile(r'//[^\n]*|/\*.*?\*/|R"([^(\s]*)\(.*?\)\1"|(?:u8|u|U|L)?"((?:[^"\\\n]|\\.)*)"|\'(?:[^\'\\\n]|\\.)*\'',
                       re.S)

    def flush():
        if pending is not None and CJK.search(pending) and "not translated" not in lines[pending_line - 1]:
            found.append((pending_line, pending))

    while True:
        m = token.search(src, i)
        if not m:
            break
        text = m.group(0)
        between = src[last_end:m.start()]
        if text.startswith("//") or text.startswith("/*"):
            i = m.end()
            continue  # comments do not separate adjacent literals; last_end stays
        if m.group(2) is not None:
            value = decode_literal(m.group(2))
            line = src.count("\n", 0, m.start()) + 1
            gap = re.sub(r'//[^\n]*|/\*.*?\*/', "", between, flags=re.S)
            if pending is not None and gap.strip() == "":
                pending += value
            else:
                flush()
                pending, pending_line = value, line
        else:
            flush()
            pending = None
        i = last_end = m.end()
    flush()
    return found


def layout_texts(path):
    texts = []
    for element in ET.parse(path).getroot().iter():
        for name in ("text", "tooltip"):
            value = element.get(name)
            if value and CJK.search(value):
                texts.append(value)
    return texts


def extract(root):
    """{text: [references]} in the order found."""
    root = Path(root)
    texts = {}
    for folder in CODE_DIRS:
        for path in sorted((root / folder).rglob("*")):
            if path.suffix in (".cpp", ".h"):
                for line, text in code_texts(path):
                    texts.setdefault(text, []).append(f"{path.relative_to(root)}:{line}")
    for path in sorted((root / "skin" / "layouts").glob("*.xml")):
        for text in layout_texts(path):
            texts.setdefault(text, []).append(str(path.relative_to(root)))
    return texts


def po_string(text):
    escaped = text.replace("\\", "\\\\").replace('"', '\\"').replace("\t", "\\t").replace("\r", "\\r")
    parts = escaped.split("\n")
    if len(parts) == 1:
        return f'"{escaped}"'
    chunks = [p + "\\n" for p in parts[:-1]] + ([parts[-1]] if parts[-1] else [])
    return '""\n' + "\n".join(f'"{c}"' for c in chunks)


def write_pot(root, out):
    entries = ['msgid ""\nmsgstr ""\n"Project-Id-Version: vexarecorder\\n"\n'
               '"MIME-Version: 1.0\\n"\n"Content-Type: text/plain; charset=UTF-8\\n"\n'
               '"Content-Transfer-Encoding: 8bit\\n"\n']
    for text, refs in extract(root).items():
        entry = "".join(f"#: {r}\n" for r in dict.fromkeys(refs))
        if "%" in text:
            entry += "#, c-format\n"
        entry += f"msgid {po_string(text)}\nmsgstr \"\"\n"
        entries.append(entry)
    Path(out).write_text("\n".join(entries), encoding="utf-8")


def unquote(s):
    return decode_literal(s.strip()[1:-1])


def parse_po(path):
    """[(msgid, msgstr, fuzzy, obsolete, line)] of a PO file, the header left out."""
    entries, cur = [], None

    def finish():
        if cur and cur["msgid"] is not None and cur["msgid"] != "":
            entries.append((cur["msgid"], cur["msgstr"] or "", cur["fuzzy"], cur["obsolete"], cur["line"]))

    field = None
    for number, raw in enumerate(Path(path).read_text(encoding="utf-8").split("\n"), 1):
        obsolete = raw.startswith("#~")
        line = raw[2:].strip() if obsolete else raw.strip()
        if not line or (line.startswith("#") and not line.startswith("#,")):
            continue
        if line.startswith("#,"):
            finish()
            cur = {"msgid": None, "msgstr": None, "fuzzy": "fuzzy" in line, "obsolete": obsolete, "line": number}
            field = None
            continue
        if line.startswith("msgid ") or line.startswith("msgid_plural "):
            if line.startswith("msgid "):
                if cur is None or cur["msgid"] is not None:
                    finish()
                    cur = {"msgid": None, "msgstr": None, "fuzzy": False, "obsolete": obsolete, "line": number}
                cur["msgid"] = unquote(line[6:])
                cur["line"] = number
                cur["obsolete"] = cur["obsolete"] or obsolete
                field = "msgid"
            else:
                field = None
            continue
        if line.startswith("msgstr"):
            value = line.split(None, 1)[1]
            cur["msgstr"] = unquote(value)
            field = "msgstr"
            continue
        if line.startswith('"') and field:
            cur[field] = (cur[field] or "") + unquote(line)
    finish()
    return entries


def show(text):
    return text.replace("\\", "\\\\").replace("\r", "\\r").replace("\n", "\\n")


def check(root, po_files):
    texts = extract(root)
    failures = []
    for po in po_files:
        entries = parse_po(po)
        translated = {msgid for msgid, msgstr, fuzzy, obsolete, _ in entries if msgstr and not obsolete}
        for text, refs in texts.items():
            if text not in translated:
                failures.append(f'{refs[0]}: "{show(text)}" has no translation in {po}')
        for msgid, msgstr, fuzzy, obsolete, line in entries:
            if obsolete or msgid not in texts:
                failures.append(f'{po}:{line}: "{show(msgid)}" is obsolete (no source text has it): delete the entry')
            elif fuzzy:
                failures.append(f'{po}:{line}: "{show(msgid)}" is fuzzy: check its translation, then delete '
                                f'the "#, fuzzy" line')
    if failures:
        print("\n".join(failures))
        print(f"\n{len(failures)} problem(s). To add a missing text: run `make po` (it rewrites "
              "po/vexarecorder.pot from the sources and merges it into every po/*.po), then write the "
              'translation into the msgstr "" under the text\'s msgid in each po file.')
        return 1
    print(f"{len(texts)} texts, each translated in {', '.join(map(str, po_files))}")
    return 0


def main(argv):
    if len(argv) >= 3 and argv[1] == "pot" and len(argv) == 4:
        write_pot(argv[2], argv[3])
        return 0
    if len(argv) >= 4 and argv[1] == "check":
        return check(argv[2], argv[3:])
    if len(argv) == 3 and argv[1] == "list":
        for text, refs in extract(argv[2]).items():
            print(f"{refs[0]}: {show(text)}")
        return 0
    print(__doc__, file=sys.stderr)
    return 2


if __name__ == "__main__":
    sys.exit(main(sys.argv))
