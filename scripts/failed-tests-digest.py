#!/usr/bin/env python3
"""Prints, after a failed ctest run, the last lines of each failed test's output and the lines
in it that name a failure, so that the reason stays at the end of a long log.

Usage: failed-tests-digest.py <build dir> [lines per test]
"""
import os
import re
import sys

FAILURE = re.compile(r"FAIL|Error|error:|Traceback|Assertion|assert|runtime error|SUMMARY|Failure|exited")


def outputs(log_text):
    """Maps each test name to the output lines ctest recorded for it."""
    result = {}
    for block in re.split(r"\n(?=\d+/\d+ Testing: )", log_text):
        head = re.match(r"\d+/\d+ Testing: (.+)", block)
        if not head:
            continue
        body = block.split("Output:\n", 1)
        if len(body) < 2:
            continue
        text = body[1].split("<end of output>", 1)[0]
        lines = text.splitlines()
        if lines and set(lines[0]) == {"-"}:
            lines = lines[1:]
        result[head.group(1).strip()] = lines
    return result


def main():
    build = sys.argv[1]
    keep = int(sys.argv[2]) if len(sys.argv) > 2 else 40
    temporary = os.path.join(build, "Testing", "Temporary")
    try:
        with open(os.path.join(temporary, "LastTestsFailed.log"), encoding="utf-8", errors="replace") as f:
            failed = [line.split(":", 1)[1].strip() for line in f if ":" in line]
        with open(os.path.join(temporary, "LastTest.log"), encoding="utf-8", errors="replace") as f:
            recorded = outputs(f.read())
    except OSError as error:
        print(f"failed-tests digest: {error}")
        return
    for name in failed:
        lines = recorded.get(name, [])
        print(f"==== {name}: failed; {len(lines)} lines of output")
        marked = [line for line in lines if FAILURE.search(line)]
        if marked:
            print("-- lines naming a failure:")
            for line in marked[-keep:]:
                print("   " + line[:400])
        print(f"-- last {keep} lines:")
        for line in lines[-keep:]:
            print("   " + line[:400])


if __name__ == "__main__":
    main()
