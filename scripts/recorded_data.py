"""What the resource generators share: reading the recorded web answers and
the hand-kept file, the common command line, and writing the result.

The recorded answers are gzipped JSON objects that map a request target
("/v2/en/cards/base1-4") to its answer; an answer is stored either as the
parsed JSON or as the body text.
"""
import argparse
import gzip
import json
import os

HERE = os.path.dirname(os.path.abspath(__file__))
ROOT = os.path.dirname(HERE)


def load_answers(path):
    """The recorded answers of one file."""
    with gzip.open(path, "rt", encoding="utf-8") as f:
        return json.load(f)


def body(value):
    """An answer as JSON, whether it was recorded parsed or as text."""
    return json.loads(value) if isinstance(value, str) else value


def most_frequent(counts):
    """The most frequent key of a Counter; ties go to the key that sorts
    first, so the output does not depend on the order of the answers."""
    return sorted(counts.items(), key=lambda kv: (-kv[1], kv[0]))[0][0]


def parse_arguments(description, hand, output):
    """--webdata, --hand and --output, the latter two defaulting to paths
    below the repository root."""
    parser = argparse.ArgumentParser(description=description)
    parser.add_argument("--webdata", default=os.path.join(ROOT, "..", "shared", "webdata"))
    parser.add_argument("--hand", default=os.path.join(ROOT, *hand))
    parser.add_argument("--output", default=os.path.join(ROOT, *output))
    return parser.parse_args()


def read_json(path):
    with open(path, encoding="utf-8") as f:
        return json.load(f)


def write_json(path, document):
    """The document as the resource files keep it: UTF-8, one-blank indent,
    a closing line break."""
    with open(path, "w", encoding="utf-8") as f:
        json.dump(document, f, ensure_ascii=False, indent=1)
        f.write("\n")
