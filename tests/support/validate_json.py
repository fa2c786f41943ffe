#!/usr/bin/env python3
"""Validates JSON documents against a JSON Schema (draft 2020-12) with python3-jsonschema from Debian.

Usage: validate_json.py SCHEMA FILE         FILE holds one JSON document
       validate_json.py SCHEMA FILE --lines FILE holds one JSON document per line (a JSON Lines log)
Prints every violation with where it is; exit status 0 valid, 1 invalid, 2 cannot check.
"""
import json
import sys

try:
    import jsonschema
except ImportError:
    print("validate_json.py: python3-jsonschema is not installed (make deps installs it)", file=sys.stderr)
    sys.exit(2)


def main(argv):
    if len(argv) not in (3, 4) or (len(argv) == 4 and argv[3] != "--lines"):
        print(__doc__, file=sys.stderr)
        return 2
    with open(argv[1], encoding="utf-8") as f:
        schema = json.load(f)
    jsonschema.Draft202012Validator.check_schema(schema)
    validator = jsonschema.Draft202012Validator(schema)
    with open(argv[2], encoding="utf-8") as f:
        text = f.read()
    if len(argv) == 4:
        if not text.endswith("\n"):
            print(f"{argv[2]}: the last line has no line end")
            return 1
        documents = [(f"line {n}", line) for n, line in enumerate(text.split("\n")[:-1], 1)]
    else:
        documents = [("document", text)]
    failed = False
    for where, source in documents:
        try:
            document = json.loads(source)
        except json.JSONDecodeError as e:
            print(f"{argv[2]}, {where}: not JSON: {e}")
            failed = True
            continue
        for error in validator.iter_errors(document):
            path = "/".join(str(p) for p in error.absolute_path) or "(top)"
            print(f"{argv[2]}, {where}, at {path}: {error.message}")
            failed = True
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
