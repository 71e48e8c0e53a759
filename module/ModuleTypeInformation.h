// On Windows the dual interfaces serve their type information from the type library registered
// for the module's LIBID and version: loaded on first use under the type-information lock, and
// released when the module is unloaded.
#pragma once

// Makes velcom's dispatch of every interface of this module answer GetTypeInfoCount with 1 and
// GetTypeInfo from the registered type library.
void serveModuleTypeInformation();
