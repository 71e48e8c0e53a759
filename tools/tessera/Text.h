// Text between the command line (UTF-8) and the automation interfaces (BSTR).
#pragma once

#include <string>

#include <velcom/com.h>

std::string toUtf8(BSTR text);
velcom::Bstr toBstr(const std::string& text);
