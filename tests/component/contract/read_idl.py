"""read_idl.py IDL OUTPUT: velTesseraComm.idl read apart from generate.py, as C++ tables for
contract_tests."""

import re
import sys

PARAM_FLAGS = ("in", "out", "retval", "optional")


def words(attributes):
    return re.findall(r"\w+", re.sub(r'"[^"]*"', "", attributes))


def param(attributes, type_name, stars, types):
    flags = words(attributes)
    vt = types.get(type_name, "VT_DISPATCH")
    out = "out" in flags
    # An interface and an [out] parameter are pointers by nature; an [in] VARIANT* takes any value.
    pointers = len(stars) - (vt in ("VT_DISPATCH", "VT_UNKNOWN")) - out
    if pointers == 1 and (out or vt != "VT_VARIANT"):
        vt = "VT_BYREF | " + vt
    elif pointers not in (0, 1):
        sys.exit(f"read_idl.py: {type_name}{stars} is no automation parameter")
    bits = " | ".join(f"velcom::kParam{f.capitalize()}" for f in PARAM_FLAGS if f in flags)
    iid = f"&IID_{type_name}" if vt == "VT_DISPATCH" and not out else "nullptr"
    return f"P({vt}, {bits or 0}, {iid})"


def member(attributes, name, params, types):
    flags = words(attributes)
    kind = ("DISPATCH_PROPERTYGET" if "propget" in flags else
            "DISPATCH_PROPERTYPUT" if "propput" in flags else "DISPATCH_METHOD")
    dispid = re.search(r"id\(([-\w]+)\)", attributes)[1]
    declared = re.findall(r"\[([^\]]*)\]\s*(\w+)\s*(\**)", params)
    # FUNCFLAG_FRESTRICTED and FUNCFLAG_FHIDDEN, as type information shows them.
    display = ("restricted" in flags) * 0x1 | ("hidden" in flags) * 0x40
    params = ", ".join(param(*p, types) for p in declared)
    return f'{{"{name}", {dispid}, {kind}, {{{params}}}, {display}}}'


def main(idl_path, output_path):
    with open(idl_path, encoding="utf-8") as file:
        text = re.sub(r"//.*", "", file.read())
    library_end = text.index("\n}", text.index("library "))  # the only block closed in column 1
    types = {"long": "VT_I4", "short": "VT_I2", "BSTR": "VT_BSTR", "VARIANT": "VT_VARIANT",
             "IUnknown": "VT_UNKNOWN"}
    enumerators, ids, interfaces = [], [], []
    for name, body in re.findall(r"enum (\w+) \{([^}]*)\}", text):
        types[name] = "VT_I4"
        for value in re.findall(r"(\w+) = (-?\d+)", body):
            enumerators.append('{{"{0}", {0}, {1}, sizeof({0})}}'.format(*value))
    for match in re.finditer(r"\[([^\]]*)\]\s*(library|interface|coclass) (\w+)", text):
        attributes, kind, name = match.groups()
        uuid = re.search(r"uuid\(([-\w]+)\)", attributes)
        if not uuid:
            continue  # a class's "[default] interface" names one without declaring it
        prefix = {"library": "LIBID", "interface": "IID", "coclass": "CLSID"}[kind]
        ids.append(f'{{"{name}", &{prefix}_{name}, "{{{uuid[1].upper()}}}"}}')
        if kind == "interface" and match.start() < library_end:
            body = text[text.index("{", match.end()):text.index("}", match.end())]
            members = re.findall(r"\[([^\]]*)\]\s*HRESULT (\w+)\(([^)]*)\)", body)
            rows = ", ".join(member(*m, types) for m in members)
            interfaces.append(f'{{"{name}", k{name}Members, {{{rows}}}}}')
    tables = {"IdlInterface kIdlInterfaces": interfaces, "IdlId kIdlIds": ids,
              "IdlEnumerator kIdlEnumerators": enumerators}
    with open(output_path, "w", encoding="utf-8") as file:
        file.write(f"// Read from {idl_path} by read_idl.py.\n")
        for declaration, rows in tables.items():
            file.write(f"const {declaration}[] = {{\n" + ",\n".join(rows) + "};\n")


main(*sys.argv[1:])
