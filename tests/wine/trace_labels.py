"""The program's timing-trace labels, read from their one home, platform/trace_labels.h, so that
the Python side matches on exactly what the program writes.

TRACE maps each label's name in that header to the label: TRACE["StretchDIBits"] is the text the
presenter writes before the milliseconds of a draw.
"""
import os
import re

HEADER = os.path.join(os.path.dirname(os.path.dirname(os.path.dirname(os.path.abspath(__file__)))),
                      "platform", "trace_labels.h")
LABEL_LINE = re.compile(r'^constexpr char (\w+)\[\] = "((?:[^"\\]|\\.)*)";', re.M)
ESCAPES = {"t": "\t", "n": "\n", '"': '"', "\\": "\\"}


def read_labels(path=HEADER):
    with open(path, encoding="utf-8") as f:
        text = f.read()
    labels = {name: re.sub(r"\\(.)", lambda escape: ESCAPES[escape.group(1)], literal)
              for name, literal in LABEL_LINE.findall(text)}
    if not labels:
        raise RuntimeError("no trace labels in %s" % path)
    return labels


TRACE = read_labels()
