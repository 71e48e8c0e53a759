// The server's answers as the proxy hands them over: a Return node with its parameters.
#pragma once

#include <ostream>
#include <string>

#include <velTesseraComm/velTesseraComm.h>

// The value of the parameter of that name, or empty.
std::string parameterOf(IvelNode& node, const std::string& name);
// One line per parameter, "  name: value".
void printParameters(IvelNode& node, std::ostream& out);
