#!/usr/bin/env python3
"""Checks what zyn says of its decisions against the classes themselves, read by javap (not by zyn).

usage: explain_check.py SCHEMA JAVAP BEFORE AFTER REPORT USAGE WHY MAP
BEFORE and AFTER are folders holding the class files under the report's names (an archive's entries under
the archive's name with "!" made "/"). Every removed member is in the class before and not after, every
renamed one is under its new name after, every kept one is there after; the usage list, the -why lines and the
mapping are the report's removed members, fates and renamed members; the report validates against its schema."""
import json
import re
import subprocess
import sys

import jsonschema

schema_path, javap, before, after, report_path, usage_path, why_path, map_path = sys.argv[1:9]
schema = json.load(open(schema_path))
report = json.load(open(report_path))
jsonschema.Draft202012Validator(schema).validate(report)
files = [f for f in report["files"] if "members" in f and f["members"]]
errors = []


def members(folder):
    """(name, descriptor) of every member of each class file, in one javap run per 500 files."""
    found = {}
    paths = [folder + "/" + f["name"].replace("!", "/") for f in files]
    for start in range(0, len(paths), 500):
        chunk = paths[start:start + 500]
        out = subprocess.run([javap, "-p", "-s"] + chunk, capture_output=True, text=True, check=True).stdout
        # Each class is a header line at the margin ending in "{", its members indented, then "}".
        blocks = re.split(r"^(?=[^\s}].*\{$)", out, flags=re.M)[1:]
        if len(blocks) != len(chunk):
            raise SystemExit(f"javap gave {len(blocks)} classes for {len(chunk)} files")
        for path, block in zip(chunk, blocks):
            head = re.search(r"(?:class|interface|enum) (\S+?)(?:<| |$)", block, flags=re.M)
            self_name = head.group(1) if head else ""
            seen, name = set(), None
            for line in block.splitlines():
                m = re.match(r"\s+descriptor: (\S+)$", line)
                if m and name is not None:
                    seen.add((name, m.group(1)))
                    name = None
                elif line.startswith("  ") and not line.startswith("   ") and line.rstrip().endswith(";"):
                    decl = re.sub(r"\s+throws .*;$", ";", line.strip())
                    if decl == "static {};":
                        name = "<clinit>"
                    elif "(" in decl:
                        name = decl[:decl.index("(")].split()[-1]
                        name = "<init>" if name == self_name else name
                    else:
                        name = decl[:-1].split()[-1]
            found[path[len(folder) + 1:]] = seen
    return found


old, new = members(before), members(after)
usage, why, mapping = [], [], []
for f in files:
    key = f["name"].replace("!", "/")
    removed = [m for m in f["members"] if m["fate"] == "removed"]
    if removed:
        usage.append(f["class"].replace("/", ".") + ":")
        usage.extend("    " + m["declaration"] for m in removed)
    renamed = [m for m in f["members"] if m["fate"] == "renamed"]
    if renamed:
        dotted = f["class"].replace("/", ".")
        mapping.append(f"{dotted} -> {dotted}:")
    for m in renamed:
        # The mapping's line is the declaration without its modifiers: "int count", "void run(int)".
        decl = m["declaration"]
        head = decl[:decl.index("(")] if m["kind"] == "method" else decl
        mapping.append("    " + " ".join(head.split()[-2:]) + decl[len(head):] + " -> " + m["newName"])
    for m in f["members"]:
        why.append(f["class"].replace("/", ".") + ": " + m["declaration"] + ": " + m["why"])
        n, d = m["name"], m["descriptor"]
        if (n, d) not in old[key]:
            errors.append(f"{key}: {n}{d} ({m['fate']}) is not in the class read")
        if m["fate"] == "removed" and (n, d) in new[key]:
            errors.append(f"{key}: {n}{d} is said removed but is in the class written")
        if m["fate"] == "renamed" and (m["newName"], d) not in new[key]:
            errors.append(f"{key}: {n}{d} is said renamed to {m['newName']}, which the class written lacks")
        if m["fate"] == "kept" and (n, d) not in new[key]:
            errors.append(f"{key}: {n}{d} is said kept but the class written lacks it")
if [re.sub(r"^    \d+:\d+:", "    ", line) for line in open(map_path).read().splitlines()] != mapping:
    errors.append("the mapping is not the report's renamed members")
if open(usage_path).read().splitlines() != usage:
    errors.append("the usage list is not the report's removed members")
said = [line for line in open(why_path).read().splitlines() if not line.startswith("-why:")]
if said != why:
    errors.append(f"the -why lines are not the report's fates ({len(said)} lines, {len(why)} members)")
counts = {}
for f in files:
    for m in f["members"]:
        counts[m["fate"]] = counts.get(m["fate"], 0) + 1
print(f"{len(report['files'])} files, {len(files)} with decisions, {counts}")
for e in errors[:20]:
    print("  " + e)
sys.exit(1 if errors else 0)
