#include "AllocationFailure.h"

#include <cstdlib>
#include <new>

// Kept in its own file so that no caller sees the replacements inline.
namespace {
int g_nAllocationsBeforeFailure = -1; // negative: never fail
} // namespace

CAllocationFailure::CAllocationFailure(int nAllocationsFirst) {
    g_nAllocationsBeforeFailure = nAllocationsFirst;
}

CAllocationFailure::~CAllocationFailure() {
    g_nAllocationsBeforeFailure = -1;
}

void* operator new(std::size_t nSize) {
    if (g_nAllocationsBeforeFailure == 0) {
        g_nAllocationsBeforeFailure = -1;
        throw std::bad_alloc();
    }
    if (g_nAllocationsBeforeFailure > 0) {
        --g_nAllocationsBeforeFailure;
    }
    if (void* p = std::malloc(nSize == 0 ? 1 : nSize)) {
        return p;
    }
    throw std::bad_alloc();
}

void operator delete(void* p) noexcept {
    std::free(p);
}
void operator delete(void* p, std::size_t) noexcept {
    std::free(p);
}
