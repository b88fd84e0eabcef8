#!/usr/bin/env python3
"""Checks report documents against schema/report.schema.json (JSON Schema draft 2020-12).

    schema_check.py [--schema FILE] DOCUMENT...

Prints every problem of every document and exits 0 when all are valid, 1 when one is not, 2 when
the checker cannot run (bad arguments, no validator). A document is the collector's standard
output as it stands: UTF-8 JSON text, CR LF line ends allowed.

From Python: problems(document_bytes) gives the problems of one document, [] when it is valid.
Uses the jsonschema package (Debian's python3-jsonschema, 4.x: it knows draft 2020-12).
"""
import argparse
import json
import os
import sys

SCHEMA = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "schema", "report.schema.json")


class _DocumentError(ValueError):
    pass


def _members(pairs):
    # A repeated member name is legal JSON text but never a valid report: the
    # parser would keep the last value silently.
    seen = set()
    for name, _ in pairs:
        if name in seen:
            raise _DocumentError("member %r appears twice in one object" % name)
        seen.add(name)
    return dict(pairs)


def _no_constant(name):
    raise _DocumentError("%s is not a JSON number" % name)


def parse(document):
    """The document's JSON value; integers exact, whatever their size."""
    text = document.decode("utf-8") if isinstance(document, bytes) else document
    return json.loads(text, object_pairs_hook=_members, parse_constant=_no_constant)


def validator(schema_path=SCHEMA):
    try:
        from jsonschema import Draft202012Validator
    except ImportError as error:  # too old, or not installed
        raise RuntimeError("jsonschema with draft 2020-12 is needed (python3-jsonschema): %s" % error)
    with open(schema_path, encoding="utf-8") as f:
        schema = json.load(f)
    Draft202012Validator.check_schema(schema)
    return Draft202012Validator(schema)


def _pointer(path):
    return "/" + "/".join(str(part).replace("~", "~0").replace("/", "~1") for part in path)


def problems(document, schema_path=SCHEMA):
    """Every reason the document is not a valid report, as texts; [] when it is one."""
    try:
        value = parse(document)
    except (UnicodeDecodeError, ValueError) as error:
        return ["not a JSON document: %s" % error]
    errors = sorted(validator(schema_path).iter_errors(value), key=lambda e: list(map(str, e.absolute_path)))
    return ["%s: %s" % (_pointer(e.absolute_path), e.message) for e in errors]


def main(argv):
    parser = argparse.ArgumentParser(description="Validate report documents against the report schema.")
    parser.add_argument("--schema", default=SCHEMA)
    parser.add_argument("documents", nargs="+")
    args = parser.parse_args(argv)
    try:
        validator(args.schema)
    except (RuntimeError, OSError, ValueError) as error:
        print("schema_check: %s" % error, file=sys.stderr)
        return 2
    status = 0
    for path in args.documents:
        with open(path, "rb") as f:
            found = problems(f.read(), args.schema)
        for problem in found:
            print("%s: %s" % (path, problem))
        if found:
            status = 1
        else:
            print("%s: valid" % path)
    return status


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
