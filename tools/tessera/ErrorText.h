// The description of the error object the last failed call left, for a user's message.
#pragma once

#include <string>

// ": " and the description, or nothing when the call left none.
std::string lastErrorText();
