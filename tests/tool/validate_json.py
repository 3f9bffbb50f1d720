#!/usr/bin/python3
"""Validates rpd-host --json records, one per line on stdin, against the
schema with Debian's python3-jsonschema. Prints the first few errors and
exits 1 if any record fails, 2 if no record came."""
import json
import sys

import jsonschema

schema = json.load(open(sys.argv[1]))
jsonschema.Draft202012Validator.check_schema(schema)
validator = jsonschema.Draft202012Validator(schema)
seen = failed = 0
for n, line in enumerate(sys.stdin, 1):
    seen += 1
    errors = list(validator.iter_errors(json.loads(line)))
    if errors:
        failed += 1
        if failed <= 3:
            print(f"record {n}: {errors[0].message} at {list(errors[0].absolute_path)}", file=sys.stderr)
sys.exit(2 if seen == 0 else 1 if failed else 0)
