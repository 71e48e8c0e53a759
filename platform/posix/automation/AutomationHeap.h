// The runtime's side of velcom/AutomationMemory.h: every BSTR and SAFEARRAY block goes through
// these two, which call the functions a host set.
#pragma once

#include <cstddef>

namespace velcom::detail {

void* allocateAutomationBlock(std::size_t size) noexcept;
// A block of `size` zero bytes, or null.
void* allocateZeroedAutomationBlock(std::size_t size) noexcept;
void releaseAutomationBlock(void* block) noexcept;

}  // namespace velcom::detail
