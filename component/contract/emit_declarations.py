"""Writes <velTesseraComm/velTesseraComm.h>: the C++ declarations a MIDL header would give."""

from automation_types import TypeResolver
from emit_type_description import emit_type_description
from idl_model import Contract, Guid, Member

_PREFIX = {"propget": "get_", "propput": "put_", "method": ""}


def guid_initializer(guid: Guid) -> str:
    tail = ", ".join(f"0x{byte:02X}" for byte in guid.data4)
    return f"{{0x{guid.data1:08X}, 0x{guid.data2:04X}, 0x{guid.data3:04X}, {{{tail}}}}}"


def cpp_method_name(member: Member) -> str:
    return _PREFIX[member.kind] + member.name


def generated_header_start(idl_name: str, own_include: str) -> list[str]:
    """The opening lines every generated header shares."""
    return [
        f"// Generated from {idl_name} by generate.py: edit the IDL, not this file.",
        "#pragma once",
        "",
        "#include <velcom/com.h>",
        "",
        f"#include <{own_include}>",
        "",
    ]


def emit_declarations(contract: Contract, idl_name: str) -> str:
    types = TypeResolver(contract)
    lines = generated_header_start(idl_name, "velTesseraComm/ErrorCodes.h")
    library = contract.library
    if library is not None:
        lines += [f"// {library.helpstring}" if library.helpstring else f"// {library.name}",
                  f"inline constexpr GUID LIBID_{library.name} = {guid_initializer(library.libid)};",
                  "// What the library is registered under.",
                  f"inline constexpr WORD {library.name}_MajorVersion = {library.major_version};",
                  f"inline constexpr WORD {library.name}_MinorVersion = {library.minor_version};",
                  f"inline constexpr LCID {library.name}_Locale = {library.lcid:#x};",
                  f"inline constexpr char {library.name}_HelpString[] = "
                  f"\"{library.helpstring or library.name}\";",
                  ""]

    # Automation passes enumerations as VT_I4, so they must be as wide as a LONG.
    for enumeration in contract.enumerations:
        if enumeration.helpstring:
            lines.append(f"// {enumeration.helpstring}")
        lines.append(f"enum {enumeration.name} : LONG {{")
        lines += [f"    {name} = {value}," for name, value in enumeration.values]
        lines += ["};", ""]

    lines += [f"struct {interface.name};" for interface in contract.interfaces]
    lines.append("")

    for interface in contract.interfaces:
        types.check_base(interface.base, f"line {interface.line}")
        lines.append(f"inline constexpr IID IID_{interface.name} = "
                     f"{guid_initializer(interface.iid)};")
        lines.append(f"struct {interface.name} : public {interface.base} {{")
        for member in interface.members:
            params = ", ".join(f"{types.cpp(param)} {param.name}" for param in member.params)
            lines.append(f"    STDMETHOD({cpp_method_name(member)})({params}) = 0;")
        lines += ["};", f"VELCOM_INTERFACE_ID({interface.name}, IID_{interface.name});", ""]

    lines += emit_type_description(contract, types)

    for coclass in contract.coclasses:
        if coclass.helpstring:
            lines.append(f"// {coclass.helpstring}")
        lines += [f"inline constexpr CLSID CLSID_{coclass.name} = "
                  f"{guid_initializer(coclass.clsid)};", ""]
    return "\n".join(lines).rstrip("\n") + "\n"
