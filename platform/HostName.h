// This computer's host name as 8-bit text.
#pragma once

#include <cstddef>

// Writes the host name, cut to nSize - 1 bytes, and a NUL; false when it cannot be read.
bool GetLocalHostName(char* pszName, std::size_t nSize);
