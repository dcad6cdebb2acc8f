#!/usr/bin/env python3
"""compare_values.py TABLE VALUES: checks the values a Wine page wrote (UTF-16, one row
per line: body, field, number, property, value with only its ASCII part escaped) against
the shared table, escaping the rest as the table does. Prints one line per difference and
a closing "N passed, M failed"; exits non-zero on any difference or missing row."""
import sys


def escaped(text):
    return "".join(c if ord(c) < 0x80 else "\\u%04X" % ord(c) for c in text)


def rows(lines):
    out = {}
    for line in lines:
        line = line.rstrip("\r\n")
        if not line or line.startswith("#"):
            continue
        columns = line.split("\t")
        out["\t".join(columns[:4])] = "\t".join(columns[4:])
    return out


def main():
    with open(sys.argv[1], encoding="ascii") as table:
        expected = rows(table)
    with open(sys.argv[2], encoding="utf-16") as written:
        actual = {key: escaped(value) for key, value in rows(written).items()}
    passed = failed = 0
    for key, want in expected.items():
        got = actual.get(key)
        if got == want:
            passed += 1
            continue
        failed += 1
        print("not ok - %s: got [%s], want [%s]" % (key.replace("\t", " "), got, want))
    print("%d passed, %d failed" % (passed, failed))
    return 1 if failed else 0


if __name__ == "__main__":
    sys.exit(main())
