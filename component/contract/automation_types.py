"""How the IDL's types appear in C++ and in a dispatch table."""

from dataclasses import dataclass

from idl_model import Contract, ContractError, Param

# Automation's own types: the C++ name and the VARTYPE.
_VALUE_TYPES = {
    "long": ("LONG", "VT_I4"),
    "short": ("SHORT", "VT_I2"),
    "BSTR": ("BSTR", "VT_BSTR"),
    "VARIANT": ("VARIANT", "VT_VARIANT"),
}
# Any object answers these, so a table need not ask for them by identifier.
_SYSTEM_INTERFACES = {"IUnknown", "IDispatch"}


@dataclass(frozen=True)
class AutomationType:
    vartype: str
    # The interface whose identifier an [in] argument is asked for; None for values and for
    # the system's interfaces.
    interface: str | None
    # Pointers beyond the value itself: 1 for an [out] parameter or an argument by reference.
    references: int


class TypeResolver:
    def __init__(self, contract: Contract):
        self._enumerations = {enumeration.name for enumeration in contract.enumerations}
        self._bases = {interface.name: interface.base for interface in contract.interfaces}

    def _is_interface(self, name: str) -> bool:
        return name in self._bases or name in _SYSTEM_INTERFACES

    def _derives_from_dispatch(self, name: str) -> bool:
        while name in self._bases:
            name = self._bases[name]
        return name == "IDispatch"

    def check_base(self, name: str, line_prefix: str) -> None:
        if not self._is_interface(name):
            raise ContractError(f"{line_prefix}: unknown base interface {name}")

    def cpp(self, param: Param) -> str:
        type_ref = param.type
        if type_ref.name in _VALUE_TYPES:
            name = _VALUE_TYPES[type_ref.name][0]
        elif type_ref.name in self._enumerations or self._is_interface(type_ref.name):
            name = type_ref.name
        else:
            raise ContractError(f"line {param.line}: unknown type {type_ref.name}")
        return name + "*" * type_ref.pointers

    def automation(self, param: Param) -> AutomationType:
        type_ref = param.type
        name = type_ref.name
        if name in _VALUE_TYPES:
            return AutomationType(_VALUE_TYPES[name][1], None, type_ref.pointers)
        if name in self._enumerations:
            return AutomationType("VT_I4", None, type_ref.pointers)
        if self._is_interface(name) and type_ref.pointers >= 1:
            vartype = "VT_DISPATCH" if self._derives_from_dispatch(name) else "VT_UNKNOWN"
            own = None if name in _SYSTEM_INTERFACES else name
            return AutomationType(vartype, own, type_ref.pointers - 1)
        raise ContractError(
            f"line {param.line}: {name}{'*' * type_ref.pointers} is not an automation type")

    def param_info(self, param: Param) -> str:
        """The velcom::ParamInfo expression that describes the parameter in a dispatch table."""
        described = self.automation(param)
        vartype = described.vartype
        iid = f", &IID_{described.interface}" if described.interface else ""
        if "out" in param.directions:
            if described.references == 1:
                return f"velcom::{'retval' if 'retval' in param.directions else 'out'}({vartype})"
        elif "optional" in param.directions:
            if vartype == "VT_VARIANT" and described.references <= 1:
                return "velcom::optional(VT_VARIANT)"
            if described.references == 0 and vartype in ("VT_DISPATCH", "VT_UNKNOWN"):
                return f"velcom::optional({vartype}{iid})"
            if described.references == 1:
                return f"velcom::optional(VT_BYREF | {vartype})"
        elif described.references == 0:
            return f"velcom::in({vartype}{iid})"
        elif described.references == 1 and vartype == "VT_VARIANT":
            return "velcom::in(VT_VARIANT)"
        raise ContractError(f"line {param.line}: parameter {param.name} cannot be dispatched")
