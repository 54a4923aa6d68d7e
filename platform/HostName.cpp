#include "platform/HostName.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <unistd.h>

bool GetLocalHostName(char* pszName, std::size_t nSize) {
    if (pszName == nullptr || nSize == 0) {
        return false;
    }
    // Room for the longest name the kernel keeps, so a long name is cut rather than refused.
    char szName[HOST_NAME_MAX + 1] = {};
    if (gethostname(szName, sizeof(szName)) != 0) {
        return false;
    }
    const std::size_t nLength = std::min(strnlen(szName, HOST_NAME_MAX), nSize - 1);
    std::memcpy(pszName, szName, nLength);
    pszName[nLength] = '\0';
    return true;
}
