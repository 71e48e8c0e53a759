"""The description of the type library in <velTesseraComm/velTesseraComm.h>: what velcom serves
type information from where the system loads none."""

from automation_types import TypeResolver
from idl_model import Contract, Interface, Member

_KIND = {"propget": "DISPATCH_PROPERTYGET", "propput": "DISPATCH_PROPERTYPUT",
         "method": "DISPATCH_METHOD"}
_DISPLAY = {"restricted": "velcom::kMemberRestricted", "hidden": "velcom::kMemberHidden"}


def _text(text: str | None) -> str:
    return f"u\"{text}\"" if text is not None else "nullptr"


def _params_name(interface: Interface, member: Member) -> str:
    prefix = {"propget": "get_", "propput": "put_", "method": ""}[member.kind]
    return f"k{interface.name}_{prefix}{member.name}Params"


def emit_type_description(contract: Contract, types: TypeResolver) -> list[str]:
    library = contract.library
    interfaces = [interface for interface in contract.interfaces if interface.in_library]
    if library is None or not interfaces:
        return []
    lines = ["// The type library as velcom describes it where the system has no type information."]
    for interface in interfaces:
        for member in interface.members:
            if not member.params:
                continue
            lines.append(f"inline constexpr velcom::ParamDescription "
                         f"{_params_name(interface, member)}[] = {{")
            lines += [f"    {{u\"{param.name}\", {types.param_info(param)}}},"
                      for param in member.params]
            lines.append("};")
        lines.append(f"inline constexpr velcom::MemberDescription k{interface.name}Description[] = {{")
        for member in interface.members:
            display = " | ".join(_DISPLAY[name] for name in sorted(member.display)) or "0"
            params = _params_name(interface, member) if member.params else "{}"
            lines.append(f"    {{u\"{member.name}\", {member.dispid}, {_KIND[member.kind]}, "
                         f"{display}, {_text(member.helpstring)}, {params}}},")
        lines.append("};")
    lines.append(f"inline constexpr velcom::InterfaceDescription {library.name}_Interfaces[] = {{")
    lines += [f"    {{u\"{interface.name}\", IID_{interface.name}, {_text(interface.helpstring)}, "
              f"k{interface.name}Description}},"
              for interface in interfaces]
    lines += ["};",
              f"inline constexpr velcom::LibraryDescription {library.name}_Description{{",
              f"    u\"{library.name}\", LIBID_{library.name}, {library.major_version}, "
              f"{library.minor_version}, {library.lcid:#x}, {_text(library.helpstring)},",
              f"    {library.name}_Interfaces}};"]
    lines += [f"VELCOM_TYPE_DESCRIPTION({interface.name}, {library.name}_Description);"
              for interface in interfaces]
    return lines + [""]
