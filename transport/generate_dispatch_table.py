"""Writes the dispatch table of IvelTransport from velTesseraComm.idl, the contract's only
description, with the contract's own generator. The interface lies outside the type library, so
the component's generated tables leave it out.

    generate_dispatch_table.py CONTRACT_DIR IDL OUTPUT_HEADER
"""

import dataclasses
import os
import sys


def main(arguments: list[str]) -> int:
    if len(arguments) != 3:
        print(__doc__, file=sys.stderr)
        return 2
    contract_dir, idl_path, output = arguments
    sys.path.insert(0, contract_dir)
    from emit_dispatch_tables import emit_dispatch_tables
    from idl_parser import parse_idl

    contract = parse_idl(idl_path)
    interfaces = [dataclasses.replace(each, in_library=each.name == "IvelTransport")
                  for each in contract.interfaces]
    if not any(each.in_library for each in interfaces):
        print("generate_dispatch_table.py: the IDL has no IvelTransport", file=sys.stderr)
        return 1
    text = emit_dispatch_tables(dataclasses.replace(contract, interfaces=interfaces),
                                os.path.basename(idl_path))
    os.makedirs(os.path.dirname(output), exist_ok=True)
    try:
        with open(output, encoding="utf-8") as file:
            if file.read() == text:
                return 0
    except FileNotFoundError:
        pass
    with open(output, "w", encoding="utf-8") as file:
        file.write(text)
    return 0


if __name__ == "__main__":
    sys.exit(main(sys.argv[1:]))
