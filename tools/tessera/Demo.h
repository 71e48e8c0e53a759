// tessera demo: the whole story against a private tessera-ca, in a temporary directory that holds
// the registry, the authority and the store, and goes with everything in it.
#pragma once

#include <ostream>

#include "CommandFailure.h"

ExitCode runDemo(bool verbose, std::ostream& out);
