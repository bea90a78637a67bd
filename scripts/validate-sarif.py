#!/usr/bin/python3
"""Validate a SARIF log against a JSON schema.

usage: validate-sarif.py SCHEMA FILE

Prints each error with the JSON path where it was found. Exits 0 when FILE
is valid, 1 when it is not (a FILE that is not JSON at all is not valid
either), 2 on a usage error, an unreadable file or an unusable schema.
"""
# Debian's own python3 is named above, not the first python3 on PATH, because
# the validator it needs is the Debian package python3-jsonschema.

import json
import sys

import jsonschema


def die(message):
    print(f"validate-sarif: {message}", file=sys.stderr)
    sys.exit(2)


def load(path, what):
    # utf-8-sig: some published schemas begin with a byte order mark.
    try:
        with open(path, encoding="utf-8-sig") as f:
            text = f.read()
    except (OSError, UnicodeDecodeError) as e:
        die(f"cannot read {what} {path}: {e}")
    try:
        return json.loads(text), None
    except json.JSONDecodeError as e:
        return None, e


# Named privately from jsonschema 4.18 on, where the public name warns.
RESOLUTION_ERROR = (getattr(jsonschema.exceptions, "_RefResolutionError", None)
                    or jsonschema.exceptions.RefResolutionError)


class RemoteRefRefused(Exception):
    pass


def refuse_remote(uri):
    # A schema that reaches out for a $ref would make the verdict depend on
    # the network, which CI does not have.
    raise RemoteRefRefused(f"remote $ref not fetched: {uri}")


def make_validator(schema):
    cls = jsonschema.validators.validator_for(
        schema, default=jsonschema.Draft7Validator)
    try:
        cls.check_schema(schema)
    except jsonschema.exceptions.SchemaError as e:
        die(f"schema is not a valid {cls.__name__} schema: {e.message}")
    # Formats are checked because the schema expresses some constraints
    # (GUIDs, URIs) only as formats, which are otherwise mere annotations.
    checker = cls.FORMAT_CHECKER
    if "uri-reference" not in checker.checkers:
        # jsonschema checks URIs only with rfc3987 at hand; say so rather
        # than pass a log with malformed URIs in silence.
        print("validate-sarif: URI formats not checked: install python3-rfc3987",
              file=sys.stderr)
    try:
        # jsonschema 4.18 and later resolve $ref through `referencing`.
        import referencing

        def retrieve(uri):
            refuse_remote(uri)

        return cls(schema, registry=referencing.Registry(retrieve=retrieve),
                   format_checker=checker)
    except (ImportError, TypeError):
        resolver = jsonschema.RefResolver.from_schema(
            schema, handlers={"http": refuse_remote, "https": refuse_remote})
        return cls(schema, resolver=resolver, format_checker=checker)


def describe(error, indent=""):
    lines = [f"{indent}{error.json_path}: {error.message}"]
    # anyOf/oneOf failures say little by themselves; their branches say why.
    for sub in sorted(error.context or (), key=lambda e: e.json_path):
        lines.extend(describe(sub, indent + "    "))
    return lines


def main(argv):
    if len(argv) != 3 or argv[1] in ("-h", "--help"):
        print(__doc__.strip(), file=sys.stderr)
        sys.exit(2)
    schema_path, log_path = argv[1], argv[2]

    schema, err = load(schema_path, "schema")
    if err:
        die(f"schema {schema_path} is not JSON: {err}")
    log, err = load(log_path, "log")
    if err:
        print(f"$: not JSON: {err}")
        print(f"{log_path}: invalid")
        return 1

    validator = make_validator(schema)
    try:
        errors = sorted(validator.iter_errors(log),
                        key=lambda e: (e.json_path, e.message))
    except RESOLUTION_ERROR as e:
        die(f"schema has an unresolvable $ref: {e}")
    for error in errors:
        print("\n".join(describe(error)))
    if errors:
        print(f"{log_path}: invalid, {len(errors)} error(s)")
        return 1
    print(f"{log_path}: valid")
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv))
