#!/usr/bin/python3
"""Compares the program's message conversion with Python's email package.

  bench/compare_messages.py [--values BUILD/bench/message_values] [--show N] PATH...

PATH: .eml files or folders of them (for example a folder written by
scripts/make-mailbox, searched recursively). For each message, the seven values
the program shows are compared with those Python's email package
(policy=default) reads from the same bytes. Prints, per field, how many agree
exactly, how many agree once whitespace (and quotes in From) are evened out,
how many agree but where Python could not read some bytes (it shows U+FFFD
where the program falls back to windows-1252), and the first N disagreements. Works offline; starts no server.

Python is a second opinion, not the truth. Fields it cannot read at all
(an unreadable Date, say) are skipped.
"""

import argparse
import datetime
import email
import email.policy
import json
import os
import re
import subprocess
import sys

FIELDS = ("from", "fromName", "fromAddress", "subject", "date", "plainText", "htmlText")
DEFAULT_TOOL = os.path.join(os.path.dirname(os.path.abspath(__file__)), "..", "build", "dev", "bench", "message_values")


def message_files(paths):
    for path in paths:
        if os.path.isdir(path):
            for folder, _, names in sorted(os.walk(path)):
                for name in sorted(names):
                    if name.endswith(".eml"):
                        yield os.path.join(folder, name)
        else:
            yield path


def program_values(tool, files):
    values = {}
    for start in range(0, len(files), 500):
        output = subprocess.run([tool, *files[start:start + 500]], check=True, capture_output=True).stdout
        for line in output.decode("utf-8").splitlines():
            record = json.loads(line)
            values[record["file"]] = record
    return values


def body(message, subtype):
    part = message.get_body(preferencelist=(subtype,))
    return part.get_content() if part is not None else ""


def python_values(data):
    """Each field's value, or None where Python could not read it."""
    message = email.message_from_bytes(data, policy=email.policy.default)
    values = {}

    def field(name, read):
        try:
            values[name] = read()
        except Exception:  # a reader's failure is a missing opinion, not an agreement
            values[name] = None

    field("subject", lambda: str(message["subject"] or ""))
    field("from", lambda: str(message["from"] or ""))
    senders = None
    try:
        senders = message["from"].addresses if message["from"] is not None else ()
    except Exception:
        pass
    if senders is None:
        values["fromName"] = values["fromAddress"] = None
    else:
        values["fromName"] = senders[0].display_name if senders else ""
        values["fromAddress"] = senders[0].addr_spec if senders else ""

    def date():
        header = message["date"]
        moment = header.datetime if header is not None else None
        if moment is None:
            return None
        if moment.tzinfo is None:
            moment = moment.replace(tzinfo=datetime.timezone.utc)
        return moment.astimezone(datetime.timezone.utc).strftime("%Y-%m-%dT%H:%M:%SZ")

    field("date", date)
    field("plainText", lambda: body(message, "plain"))
    field("htmlText", lambda: body(message, "html"))
    return values


def line_breaks(text):
    return text.replace("\r\n", "\n").replace("\r", "\n")


def loose(field, text):
    if field == "from":
        # Python writes the header anew: no quotes it does not need, and a bare
        # address without its angle brackets.
        text = re.sub(r"^\s*<([^<>]*)>\s*$", r"\1", text.replace('"', ""))
    return re.sub(r"\s+", " ", text).strip()


def unreadable_as_wildcards(text):
    """A pattern of text where each stretch Python could not read (U+FFFD,
    undecodable bytes kept as surrogates) stands for any characters."""
    pieces = re.split(r"[\ufffd\udc80-\udcff]+", text)
    return re.compile(".+?".join(re.escape(loose("", piece)) for piece in pieces), re.DOTALL)


def compare(ours, theirs, field):
    """'exact', 'loose', 'fallback' (agrees but where Python read nothing),
    'differ' or 'skipped' (Python read nothing at all)."""
    if theirs is None:
        return "skipped"
    if field in ("plainText", "htmlText"):
        theirs = line_breaks(theirs)
    elif field != "date":
        theirs = theirs.strip()
    if ours == theirs:
        return "exact"
    if loose(field, ours) == loose(field, theirs):
        return "loose"
    if re.search("[\ufffd\udc80-\udcff]", theirs) and unreadable_as_wildcards(loose(field, theirs)).fullmatch(
            loose(field, ours)):
        return "fallback"
    return "differ"


def shortened(text, limit=160):
    text = repr(text)
    return text if len(text) <= limit else text[:limit] + "..."


def main():
    parser = argparse.ArgumentParser(description=__doc__.splitlines()[0])
    parser.add_argument("paths", nargs="+")
    parser.add_argument("--values", default=DEFAULT_TOOL, help="the message_values program")
    parser.add_argument("--show", type=int, default=5, help="disagreements to print per field")
    args = parser.parse_args()

    files = list(message_files(args.paths))
    ours = program_values(args.values, files)
    verdicts = ("exact", "loose", "fallback", "differ", "skipped")
    counts = {field: dict.fromkeys(verdicts, 0) for field in FIELDS}
    shown = {field: [] for field in FIELDS}
    for path in files:
        with open(path, "rb") as source:
            theirs = python_values(source.read())
        record = ours.get(path)
        for field in FIELDS:
            verdict = "differ" if record is None else compare(record[field], theirs[field], field)
            counts[field][verdict] += 1
            if verdict == "differ" and len(shown[field]) < args.show:
                shown[field].append((path, None if record is None else record[field], theirs[field]))

    print(f"{len(files)} messages, {len(ours)} converted by the program")
    print(f"{'field':12}" + "".join(f"{verdict:>9}" for verdict in verdicts))
    compared = agreed = 0
    for field in FIELDS:
        c = counts[field]
        print(f"{field:12}" + "".join(f"{c[verdict]:9}" for verdict in verdicts))
        compared += sum(c.values()) - c["skipped"]
        agreed += c["exact"] + c["loose"] + c["fallback"]
    if compared:
        print(f"fields agreeing: {agreed} of {compared} ({100.0 * agreed / compared:.2f} %)")
    for field in FIELDS:
        for path, our_value, their_value in shown[field]:
            print(f"\n{field} differs in {path}\n  program: {shortened(our_value)}\n  python:  {shortened(their_value)}")
    return 0


if __name__ == "__main__":
    sys.exit(main())
