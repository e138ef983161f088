#!/usr/bin/env python3
"""The one table of facts, read from the library's sources, and the documents
held to it.

Usage: facts_check.py SOURCE_DIR         checks README.md, docs/HOST-GUIDE.md
                                         and the bindings
       facts_check.py SOURCE_DIR --json  prints the table

The result codes are the enumerators of interface/povupdate.h, each with its
meaning in the comment above it; the key names, limits, index section and
drive marker are the constants of interface/facts.h. The bindings keep
copies that their languages can read without a build step: each one's
sentences, record fields, error classes and install room are held here to
the table.
"""
import json
import os
import re
import sys


def read(source, path):
    with open(os.path.join(source, path), encoding="utf-8") as file:
        return file.read()


def result_codes(source):
    """[(code, name, meaning)] in the header's order."""
    header = read(source, "interface/povupdate.h")
    rows = re.findall(r"/\* ([^*]+) \*/\n  (POVUPDATE_[A-Z_]+) = ([0-9]+)", header)
    if len(rows) != len(re.findall(r"POVUPDATE_[A-Z_]+ = [0-9]+", header)):
        raise SystemExit("povupdate.h: a result code without its meaning above it")
    # A meaning too long for one line goes on in the next.
    return [(int(code), name, " ".join(meaning.split())) for meaning, name, code in rows]


def facts(source):
    text = read(source, "interface/facts.h")

    def constant(name):
        return re.search(r"\b%s(?:\[\])? = ([^;]+);" % name, text).group(1)

    keys = re.search(r"kKeyNames\[kFieldCount\]\[kKeyNameSize\] = \{([^}]*)\}", text).group(1)
    return {
        "text_size": int(constant("kTextSize")),
        "value_buffer_size": int(constant("kValueBufferSize")),
        "index_section": json.loads(constant("kIndexSection")),
        "system_drive_marker": constant("kSystemDriveMarker").strip("'"),
        "key_names": json.loads("[" + keys + "]"),
        "result_codes": result_codes(source),
    }


def documented_codes(document):
    """The rows of the document's table of result codes, without markup."""
    start = document.index("| Code | Name in `povupdate.h` | Meaning |")
    rows = []
    for line in document[start:].splitlines()[2:]:
        if not line.startswith("|"):
            break
        code, name, meaning = (cell.strip().replace("`", "") for cell in line.strip("|").split("|"))
        rows.append((int(code), name, meaning))
    return rows


# Where each binding keeps its copies: a pattern for the rows of its table of
# sentences (code, sentence); for each type that holds a record's fields in
# its order, a pattern for the type and one for a field's name in it; a
# pattern for the error classes it raises for a code of their own (code,
# class name less the suffix); and one for the room SetSaveFilePath may fill.
BINDINGS = {
    "bindings/python/povupdate/__init__.py": {
        "sentences": r'^    (\d+): "(.*)",$',
        "fields": {"UpdateEntry": (r"class UpdateEntry:.*?\n\n\n", r"^    (\w+): str$")},
        "classes": r"(\d+): (\w+)Error\b",
        "room": r"^_INSTALL_ROOM = (\d+)$",
    },
    "bindings/csharp/PovUpdate.cs": {
        "sentences": r'^            \{ (\d+), "(.*)" \},$',
        "fields": {"UpdateEntry": (r"class UpdateEntry\b.*?\n    \}", r"public string (\w+) \{"),
                   "Record": (r"struct Record\b.*?\}", r"(\w+)[,;]")},
        "classes": r"\{ (\d+), \(c, m\) => new (\w+)Exception\(",
        "room": r"const int InstallRoom = (\d+);",
    },
}


def camel_case(name):
    """POVUPDATE_UNTRUSTED_UPDATE_FILE: UntrustedUpdateFile."""
    return "".join(word.capitalize() for word in name.split("_")[1:])


def binding_failures(source, table):
    names = {code: name for code, name, _ in table["result_codes"]}
    sentences = {code: meaning.replace("`", "") for code, _, meaning in table["result_codes"] if code != 0}
    fields = ["Name"] + table["key_names"][1:]
    header = " ".join(read(source, "interface/povupdate.h").replace(" * ", " ").split())
    room = int(re.search(r"must have room for (\d+) more characters", header).group(1))
    failures = []
    for path, patterns in BINDINGS.items():
        text = read(source, path)
        found = {int(code): sentence for code, sentence in re.findall(patterns["sentences"], text, re.M)}
        if found != sentences:
            failures.append(path + ": its sentences are not povupdate.h's")
        for kind, (place, field) in patterns["fields"].items():
            block = re.search(place, text, re.S)
            if block is None or re.findall(field, block.group(0), re.M) != fields:
                failures.append(path + ": the fields of %s are not the key names, in order" % kind)
        for code, name in re.findall(patterns["classes"], text):
            if camel_case(names.get(int(code), "")) != name:
                failures.append(path + ": the error class of code %s is not named after it" % code)
        if [int(number) for number in re.findall(patterns["room"], text, re.M)] != [room]:
            failures.append(path + ": its install room is not the %d characters povupdate.h gives" % room)
    return failures


def main():
    source = sys.argv[1]
    table = facts(source)
    if sys.argv[2:] == ["--json"]:
        print(json.dumps(table, indent=2))
        return 0
    failures = binding_failures(source, table)
    limits = ("Values are cut to {:,} characters".format(table["value_buffer_size"] - 1),
              "section names to {}".format(table["text_size"] - 1))
    highest = max(code for code, _, _ in table["result_codes"])
    if "| 1 to %d | a call of the library failed" % highest not in read(source, "README.md"):
        failures.append("README.md: its exit statuses don't run to the highest code, %d" % highest)
    for path in ("README.md", "docs/HOST-GUIDE.md"):
        document = read(source, path)
        if documented_codes(document) != table["result_codes"]:
            failures.append(path + ": its table of result codes is not povupdate.h's")
        for limit in limits:
            if limit not in " ".join(document.split()):
                failures.append(path + ": does not say '%s'" % limit)
    for failure in failures:
        print("FAIL: " + failure, file=sys.stderr)
    return 1 if failures else 0


if __name__ == "__main__":
    sys.exit(main())
