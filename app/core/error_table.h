// The program's table of system error messages in Simplified Chinese.
#pragma once

#include <string>

// Rows "〖" code "〗-" message "\r\n" in ascending code order, in the system code page.
extern const char kErrorTable[];

// The Simplified Chinese system message for an error code, from the table; empty for a code the
// table does not hold.
std::string errorText(unsigned long code);
