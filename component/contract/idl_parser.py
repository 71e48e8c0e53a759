"""Reads the subset of MIDL that velTesseraComm.idl is written in.

Anything outside that subset is an error rather than something skipped, so that a construct the
generators do not understand cannot silently leave the C++ behind the type library.
"""

import re

from idl_model import (Contract, CoClass, ContractError, Enumeration, Guid, Interface, Library,
                       Member, Param, TypeRef)

_TOKEN = re.compile(r"""
      (?P<space>\s+)
    | (?P<comment>//[^\n]*|/\*.*?\*/)
    | (?P<guid>[0-9A-Fa-f]{8}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{4}-[0-9A-Fa-f]{12})
    | (?P<string>"[^"\\\n]*")
    | (?P<number>-?(?:0[xX][0-9A-Fa-f]+|[0-9]+(?:\.[0-9]+)?))
    | (?P<name>[A-Za-z_][A-Za-z0-9_]*)
    | (?P<punct>[\[\](){};,:*=])
""", re.VERBOSE | re.DOTALL)

# The standard DISPIDs that the contract uses by name, as oaidl.idl defines them.
_NAMED_DISPIDS = {"DISPID_VALUE": 0, "DISPID_NEWENUM": -4}

_DIRECTIONS = {"in", "out", "retval", "optional"}
# Parameter attributes that matter to marshalling only.
_POINTER_ATTRIBUTES = {"unique"}
# Member attributes that change how browsers show a member, not how it is called.
_DISPLAY_ATTRIBUTES = {"helpstring", "restricted", "hidden"}


class _Token:
    def __init__(self, kind: str, text: str, line: int):
        self.kind = kind
        self.text = text
        self.line = line


def _tokenize(text: str, path: str) -> list[_Token]:
    tokens = []
    position = 0
    line = 1
    while position < len(text):
        match = _TOKEN.match(text, position)
        if match is None:
            raise ContractError(f"{path}:{line}: unexpected character {text[position]!r}")
        kind = match.lastgroup
        if kind not in ("space", "comment"):
            tokens.append(_Token(kind, match.group(), line))
        line += match.group().count("\n")
        position = match.end()
    return tokens


class _Parser:
    def __init__(self, tokens: list[_Token], path: str):
        self._tokens = tokens
        self._position = 0
        self._path = path
        self.contract = Contract()

    def error(self, message: str, line: int | None = None) -> ContractError:
        if line is None:
            line = self._peek().line if self._peek() else self._tokens[-1].line
        return ContractError(f"{self._path}:{line}: {message}")

    def _peek(self) -> _Token | None:
        return self._tokens[self._position] if self._position < len(self._tokens) else None

    def _at(self, text: str) -> bool:
        token = self._peek()
        return token is not None and token.text == text

    def _next(self) -> _Token:
        token = self._peek()
        if token is None:
            raise self.error("unexpected end of file")
        self._position += 1
        return token

    def _expect(self, text: str) -> _Token:
        token = self._next()
        if token.text != text:
            raise self.error(f"expected {text!r}, found {token.text!r}", token.line)
        return token

    def _name(self) -> str:
        token = self._next()
        if token.kind != "name":
            raise self.error(f"expected a name, found {token.text!r}", token.line)
        return token.text

    def _attributes(self) -> dict[str, list[_Token]]:
        attributes: dict[str, list[_Token]] = {}
        if not self._at("["):
            return attributes
        self._expect("[")
        while True:
            name = self._name()
            arguments: list[_Token] = []
            if self._at("("):
                self._expect("(")
                while not self._at(")"):
                    arguments.append(self._next())
                self._expect(")")
            attributes[name] = arguments
            if self._at("]"):
                break
            self._expect(",")
        self._expect("]")
        return attributes

    def _single(self, attributes: dict[str, list[_Token]], name: str, kind: str) -> str | None:
        arguments = attributes.get(name)
        if arguments is None:
            return None
        if len(arguments) != 1 or arguments[0].kind != kind:
            raise self.error(f"{name} takes one {kind}")
        text = arguments[0].text
        return text[1:-1] if kind == "string" else text

    def _guid(self, attributes: dict[str, list[_Token]], what: str) -> Guid:
        text = self._single(attributes, "uuid", "guid")
        if text is None:
            raise self.error(f"{what} has no uuid")
        return Guid.parse(text)

    def parse(self) -> Contract:
        while self._peek() is not None:
            if self._at("import"):
                self._next()
                self._next()
                self._expect(";")
                continue
            self._definition(self._attributes(), in_library=False)
        return self.contract

    def _definition(self, attributes: dict[str, list[_Token]], in_library: bool) -> None:
        keyword = self._next()
        if keyword.text == "library" and not in_library:
            self._library(attributes)
        elif keyword.text == "interface":
            self._interface(attributes, in_library)
        elif keyword.text == "coclass":
            self._coclass(attributes)
        elif keyword.text == "typedef" and not attributes:
            self._enumeration()
        else:
            raise self.error(f"unexpected {keyword.text!r}", keyword.line)

    def _library(self, attributes: dict[str, list[_Token]]) -> None:
        name = self._name()
        version = self._single(attributes, "version", "number")
        if version is None or not re.fullmatch(r"[0-9]+\.[0-9]+", version):
            raise self.error(f"library {name} needs a version major.minor")
        lcid = self._single(attributes, "lcid", "number")
        if lcid is None:
            raise self.error(f"library {name} needs an lcid")
        major, minor = version.split(".")
        self.contract.library = Library(name, self._guid(attributes, name),
                                        self._single(attributes, "helpstring", "string"),
                                        int(major), int(minor), int(lcid, 0))
        self._expect("{")
        while not self._at("}"):
            if self._at("importlib"):
                self._next()
                self._expect("(")
                self._next()
                self._expect(")")
                self._expect(";")
                continue
            self._definition(self._attributes(), in_library=True)
        self._expect("}")
        self._expect(";")

    def _interface(self, attributes: dict[str, list[_Token]], in_library: bool) -> None:
        line = self._peek().line
        name = self._name()
        if self._at(";"):
            self._next()
            if attributes:
                raise self.error(f"forward declaration of {name} with attributes", line)
            return
        self._expect(":")
        base = self._name()
        iid = self._guid(attributes, name)
        self._expect("{")
        members = []
        while not self._at("}"):
            members.append(self._member())
        self._expect("}")
        self._expect(";")
        self.contract.interfaces.append(
            Interface(name, iid, base, in_library, members, line,
                      self._single(attributes, "helpstring", "string")))

    def _member(self) -> Member:
        attributes = self._attributes()
        line = self._expect("HRESULT").line
        name = self._name()
        kinds = [kind for kind in ("propget", "propput") if kind in attributes]
        unknown = set(attributes) - {"id", "propget", "propput"} - _DISPLAY_ATTRIBUTES
        if unknown or len(kinds) > 1:
            raise self.error(f"{name}: unsupported attributes {sorted(unknown) or kinds}", line)
        dispid_arguments = attributes.get("id")
        if not dispid_arguments or len(dispid_arguments) != 1:
            raise self.error(f"{name} has no id", line)
        dispid_text = dispid_arguments[0].text
        if dispid_text in _NAMED_DISPIDS:
            dispid = _NAMED_DISPIDS[dispid_text]
        elif dispid_arguments[0].kind == "number":
            dispid = int(dispid_text, 0)
        else:
            raise self.error(f"{name}: unknown DISPID {dispid_text}", line)
        self._expect("(")
        params = []
        while not self._at(")"):
            if params:
                self._expect(",")
            params.append(self._param())
        self._expect(")")
        self._expect(";")
        return Member(name, dispid, kinds[0] if kinds else "method", params,
                      self._single(attributes, "helpstring", "string"),
                      frozenset(attributes) & {"restricted", "hidden"})

    def _param(self) -> Param:
        attributes = self._attributes()
        line = self._peek().line
        unknown = set(attributes) - _DIRECTIONS - _POINTER_ATTRIBUTES
        if unknown or any(attributes[name] for name in attributes):
            raise self.error(f"unsupported parameter attributes {sorted(attributes)}", line)
        type_name = self._name()
        pointers = 0
        while self._at("*"):
            self._next()
            pointers += 1
        name = self._name()
        directions = frozenset(attributes) & _DIRECTIONS
        if not directions & {"in", "out"}:
            raise self.error(f"parameter {name} is neither [in] nor [out]", line)
        return Param(name, TypeRef(type_name, pointers), directions, line)

    def _coclass(self, attributes: dict[str, list[_Token]]) -> None:
        name = self._name()
        clsid = self._guid(attributes, name)
        self._expect("{")
        while not self._at("}"):
            self._attributes()
            self._expect("interface")
            self._name()
            self._expect(";")
        self._expect("}")
        self._expect(";")
        self.contract.coclasses.append(
            CoClass(name, clsid, self._single(attributes, "helpstring", "string")))

    def _enumeration(self) -> None:
        attributes = self._attributes()
        self._expect("enum")
        if not self._at("{"):
            self._name()
        self._expect("{")
        values = []
        while not self._at("}"):
            if values:
                self._expect(",")
            member = self._name()
            self._expect("=")
            value = self._next()
            if value.kind != "number":
                raise self.error(f"{member} needs a number", value.line)
            values.append((member, int(value.text, 0)))
        self._expect("}")
        name = self._name()
        self._expect(";")
        self.contract.enumerations.append(
            Enumeration(name, values, self._single(attributes, "helpstring", "string")))


def parse_idl(path: str) -> Contract:
    with open(path, encoding="utf-8") as file:
        text = file.read()
    return _Parser(_tokenize(text, path), path).parse()
