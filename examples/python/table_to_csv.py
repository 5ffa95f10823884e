#!/usr/bin/python3
"""The table of one record type of a file, written as CSV with pandas.

    table_to_csv.py FILE TYPE OUT.csv

One row per record, one column per scalar field (tarvik-cli export writes
the same table without Python).
"""

import sys

import tarvik


def main(path, record_type, out):
    table = tarvik.open(path).table(int(record_type))
    table.to_csv(out, index=False)
    print(f"{out}: {len(table)} rows, {len(table.columns)} columns")
    print(table.describe().T.head(8).to_string())


if __name__ == "__main__":
    if len(sys.argv) != 4:
        sys.exit(__doc__)
    main(*sys.argv[1:])
