// Whether the calling thread has entered an apartment with CoInitializeEx.
#pragma once

namespace velcom::detail {

bool apartmentEntered();

}  // namespace velcom::detail
