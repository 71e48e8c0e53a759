// A yes-or-no question to the user at a terminal, for what cannot be undone.
#pragma once

#include <string>

// True when the answer is y or yes. Raises CommandFailure (Usage) when standard input or standard
// error is no terminal, since nobody could answer: such callers say yes beforehand (--yes).
bool confirmed(const std::string& question);
