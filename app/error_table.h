// The program's table of system error messages in Simplified Chinese.
#pragma once

// Rows "〖" code "〗-" message "\r\n" in ascending code order, in the system code page.
extern const char kErrorTable[];
