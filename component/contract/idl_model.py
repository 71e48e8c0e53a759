"""What generate.py reads out of the IDL: the library, its interfaces, enumerations and classes."""

from dataclasses import dataclass, field


class ContractError(Exception):
    """The IDL says something the generators cannot turn into C++; the message names the place."""


@dataclass(frozen=True)
class Guid:
    data1: int
    data2: int
    data3: int
    data4: tuple[int, ...]

    @staticmethod
    def parse(text: str) -> "Guid":
        parts = text.split("-")
        tail = parts[3] + parts[4]
        return Guid(int(parts[0], 16), int(parts[1], 16), int(parts[2], 16),
                    tuple(int(tail[i:i + 2], 16) for i in range(0, 16, 2)))


@dataclass(frozen=True)
class TypeRef:
    name: str
    pointers: int


@dataclass
class Param:
    name: str
    type: TypeRef
    directions: frozenset[str]  # in, out, retval, optional
    line: int


@dataclass
class Member:
    name: str
    dispid: int
    kind: str  # method, propget or propput
    params: list[Param]
    helpstring: str | None = None
    # How browsers show the member: restricted, hidden.
    display: frozenset[str] = frozenset()


@dataclass
class Interface:
    name: str
    iid: Guid
    base: str
    in_library: bool
    members: list[Member]
    line: int
    helpstring: str | None = None


@dataclass
class Enumeration:
    name: str
    values: list[tuple[str, int]]
    helpstring: str | None


@dataclass
class CoClass:
    name: str
    clsid: Guid
    helpstring: str | None


@dataclass
class Library:
    name: str
    libid: Guid
    helpstring: str | None
    major_version: int
    minor_version: int
    lcid: int


@dataclass
class Contract:
    library: Library | None = None
    interfaces: list[Interface] = field(default_factory=list)
    enumerations: list[Enumeration] = field(default_factory=list)
    coclasses: list[CoClass] = field(default_factory=list)
