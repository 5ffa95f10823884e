#!/usr/bin/env python3
"""Validates JSON documents (one per line, or one in all) against a schema file.

Knows the parts of JSON Schema the documented schemas use: type (one or a list),
enum, required, properties, additionalProperties false, items and local $ref.
Exit 0 when every document is valid; otherwise prints where and exits 1.
"""
import json
import sys

TYPES = {
    "object": lambda v: isinstance(v, dict),
    "array": lambda v: isinstance(v, list),
    "string": lambda v: isinstance(v, str),
    "integer": lambda v: isinstance(v, int) and not isinstance(v, bool),
    "number": lambda v: isinstance(v, (int, float)) and not isinstance(v, bool),
    "boolean": lambda v: isinstance(v, bool),
    "null": lambda v: v is None,
}


def resolve(schema, root):
    while "$ref" in schema:
        node = root
        for part in schema["$ref"].lstrip("#/").split("/"):
            node = node[part]
        schema = node
    return schema


def check(value, schema, root, where, errors):
    schema = resolve(schema, root)
    if "type" in schema:
        types = schema["type"] if isinstance(schema["type"], list) else [schema["type"]]
        if not any(TYPES[t](value) for t in types):
            errors.append(f"{where}: {value!r:.60} is not {types}")
            return
    if "enum" in schema and value not in schema["enum"]:
        errors.append(f"{where}: {value!r} not one of {schema['enum']}")
    if isinstance(value, dict):
        for name in schema.get("required", []):
            if name not in value:
                errors.append(f"{where}: missing {name}")
        props = schema.get("properties", {})
        for name, v in value.items():
            if name in props:
                check(v, props[name], root, f"{where}.{name}", errors)
            elif schema.get("additionalProperties") is False:
                errors.append(f"{where}: unexpected field {name}")
    if isinstance(value, list) and "items" in schema:
        for i, v in enumerate(value):
            check(v, schema["items"], root, f"{where}[{i}]", errors)


def main():
    schema = json.load(open(sys.argv[1]))
    text = open(sys.argv[2]).read() if len(sys.argv) > 2 else sys.stdin.read()
    try:
        documents = [json.loads(text)]
    except json.JSONDecodeError:
        documents = [json.loads(line) for line in text.splitlines() if line.strip()]
    errors = []
    for n, doc in enumerate(documents):
        check(doc, schema, schema, f"document {n}", errors)
    for e in errors[:50]:
        print(e)
    print(f"{len(documents)} documents, {len(errors)} errors")
    return 1 if errors or not documents else 0


if __name__ == "__main__":
    sys.exit(main())
