"""Generates the C++ side of the automation contract from velTesseraComm.idl.

    generate.py IDL OUTPUT_DIR

writes OUTPUT_DIR/velTesseraComm/velTesseraComm.h (interfaces, identifiers, enumerations) and
OUTPUT_DIR/velTesseraComm/DispatchTables.h (the dispatch table of each interface of the type
library). A file whose text is unchanged is left alone, so that its users are not rebuilt.
"""

import os
import sys

from emit_declarations import emit_declarations
from emit_dispatch_tables import emit_dispatch_tables
from idl_model import ContractError
from idl_parser import parse_idl


def _write_if_changed(path: str, text: str) -> None:
    try:
        with open(path, encoding="utf-8") as file:
            if file.read() == text:
                return
    except FileNotFoundError:
        pass
    with open(path, "w", encoding="utf-8") as file:
        file.write(text)


def main(arguments: list[str]) -> int:
    if len(arguments) != 2:
        print(__doc__, file=sys.stderr)
        return 2
    idl_path, output_dir = arguments
    idl_name = os.path.basename(idl_path)
    try:
        contract = parse_idl(idl_path)
        declarations = emit_declarations(contract, idl_name)
        tables = emit_dispatch_tables(contract, idl_name)
    except ContractError as error:
        print(f"generate.py: {error}", file=sys.stderr)
        return 1
    header_dir = os.path.join(output_dir, "velTesseraComm")
    os.makedirs(header_dir, exist_ok=True)
    _write_if_changed(os.path.join(header_dir, "velTesseraComm.h"), declarations)
    _write_if_changed(os.path.join(header_dir, "DispatchTables.h"), tables)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
