// A node tree written out as text, every attribute and child included, so that two trees can be
// compared for equality without the node classes offering a comparison of their own.
#pragma once

#include <string>

#include "markup/mtGNodes.h"

std::string describeTree(const Node& node);
