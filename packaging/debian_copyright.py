"""Reads Debian copyright files: the machine-readable format (DEP-5) into paragraphs, so a notice
can carry the paragraphs that cover the files a build used, and Debian's licence names into SPDX
identifiers."""
import re

# Debian's short names where SPDX has the same licence under its own identifier. Any other name
# becomes LicenseRef-Debian-<name>, declared with the text the copyright file gives for it.
SPDX_OF_DEBIAN_NAME = {
    "BSL-1.0": "BSL-1.0",
    "ZPL-2.1": "ZPL-2.1",
    "expat": "MIT",
    "MIT": "MIT",
    "ISC": "ISC",
    "BSD-2-clause": "BSD-2-Clause",
    "BSD-3-clause": "BSD-3-Clause",
    "GPL-2+": "GPL-2.0-or-later",
    "GPL-3+": "GPL-3.0-or-later",
    "LGPL-2+": "LGPL-2.0-or-later",
    "LGPL-2.1+": "LGPL-2.1-or-later",
}


def spdx_id(debian_name):
    if debian_name in SPDX_OF_DEBIAN_NAME:
        return SPDX_OF_DEBIAN_NAME[debian_name]
    return "LicenseRef-Debian-" + re.sub(r"[^A-Za-z0-9.-]", "-", debian_name)


def licence_names(expression):
    """'BSD-2-clause-NetBSD and ISC' -> ['BSD-2-clause-NetBSD', 'ISC']."""
    return [name for name in re.split(r"\s+(?:and|or)\s+", expression.strip()) if name]


class Paragraph:
    def __init__(self, text, fields):
        self.text = text
        self.fields = fields  # name (lower case) -> (first line, continuation text)

    def get(self, name):
        return self.fields.get(name.lower())

    @property
    def patterns(self):
        files = self.get("Files")
        return (files[0] + " " + files[1]).split() if files else []

    def matches(self, path):
        """Whether a Files pattern covers the path: DEP-5 knows only '*' (any text, slashes too) and '?'."""
        if not hasattr(self, "_matcher"):
            alternatives = ["".join(".*" if c == "*" else "." if c == "?" else re.escape(c) for c in pattern)
                            for pattern in self.patterns]
            self._matcher = re.compile("(?s:%s)\\Z" % "|".join(alternatives)) if alternatives else None
        return bool(self._matcher and self._matcher.match(path))

    @property
    def licence(self):
        """(short name expression, licence text or '')."""
        return self.get("License")


def _fields(text):
    fields = {}
    name = None
    for line in text.split("\n"):
        if line[:1] in (" ", "\t") and name:
            first, rest = fields[name]
            body = line.strip()
            fields[name] = (first, rest + ("" if body == "." else body) + "\n")
        elif ":" in line:
            name, value = line.split(":", 1)
            name = name.strip().lower()
            fields[name] = (value.strip(), "")
    return fields


class CopyrightFile:
    def __init__(self, text):
        self.text = text
        self.paragraphs = [Paragraph(p, _fields(p)) for p in re.split(r"\n[ \t]*\n", text.strip("\n")) if p.strip()]
        self.machine_readable = bool(self.paragraphs) and self.paragraphs[0].get("Format") is not None

    @property
    def file_paragraphs(self):
        return [p for p in self.paragraphs if p.get("Files")]

    def licence_text(self, name):
        """The text of a licence named by a Files paragraph without one: its stand-alone paragraph."""
        for p in self.paragraphs:
            licence = p.licence
            if not p.get("Files") and licence and licence[0] == name and licence[1].strip():
                return p
        return None

    def last_match(self, path):
        """The Files paragraph that applies to a path of the source tree: the last one matching it."""
        found = None
        for p in self.file_paragraphs:
            if p.matches(path):
                found = p
        return found

    def covering_folders(self, folders, excluded=()):
        """The Files paragraphs that can apply to files in the folders (patterns under them, and
        'Files: *' unless a selected paragraph covers a whole folder), less those only under
        excluded folders."""
        chosen = []
        whole = set()
        for p in self.file_paragraphs:
            inside = [pat for pat in p.patterns if any(pat.startswith(f) for f in folders)
                      and not any(pat.startswith(x) for x in excluded)]
            if inside:
                chosen.append(p)
                whole.update(f for f in folders if f + "*" in inside)
        if len(whole) < len(folders):
            everything = [p for p in self.file_paragraphs if "*" in p.patterns]
            chosen = everything[-1:] + chosen
        return chosen

    def notice(self, paragraphs):
        """The paragraphs' text, then the stand-alone text of every licence they name without one.
        Returns (text, {Debian licence name: its text})."""
        texts = {}
        extra = []
        for p in paragraphs:
            expression, body = p.licence
            for name in licence_names(expression):
                if body.strip() and len(licence_names(expression)) == 1:
                    texts.setdefault(name, body)
                    continue
                standalone = self.licence_text(name)
                if standalone is None:
                    raise SystemExit("copyright file names licence %r without its text" % name)
                texts.setdefault(name, standalone.licence[1])
                if standalone not in extra:
                    extra.append(standalone)
        return "\n\n".join(p.text for p in paragraphs + extra) + "\n", texts
