"""Writes <velTesseraComm/DispatchTables.h>: a velcom dispatch table for each interface of the
type library, in the IDL's member order. velcom::member checks every entry against the C++
signature when the table is compiled."""

from automation_types import TypeResolver
from emit_declarations import cpp_method_name, generated_header_start
from idl_model import Contract

_KIND = {"propget": "DISPATCH_PROPERTYGET", "propput": "DISPATCH_PROPERTYPUT",
         "method": "DISPATCH_METHOD"}


def emit_dispatch_tables(contract: Contract, idl_name: str) -> str:
    types = TypeResolver(contract)
    lines = generated_header_start(idl_name, "velTesseraComm/velTesseraComm.h")
    for interface in contract.interfaces:
        if not interface.in_library:
            continue
        lines.append(f"inline constexpr velcom::DispatchMember k{interface.name}Members[] = {{")
        for member in interface.members:
            arguments = "".join(f", {types.param_info(param)}" for param in member.params)
            lines.append(f"    velcom::member<&{interface.name}::{cpp_method_name(member)}"
                         f"{arguments}>(u\"{member.name}\", {member.dispid}, "
                         f"{_KIND[member.kind]}),")
        lines += ["};", ""]
    return "\n".join(lines).rstrip("\n") + "\n"
