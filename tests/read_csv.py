#!/usr/bin/env python3
# Reads a CSV file the way a spreadsheet importer does and prints its rows as JSON (ASCII only).
#   read_csv.py FILE ENCODING SEPARATOR
import csv
import json
import sys

path, encoding, separator = sys.argv[1:4]
with open(path, newline="", encoding=encoding) as f:
    json.dump(list(csv.reader(f, delimiter=separator, strict=True)), sys.stdout)
