// Allocation failures on demand for this test program, which replaces the global operator new.
#pragma once

// While alive, the allocation after nAllocationsFirst successful ones throws std::bad_alloc
// (once).
class CAllocationFailure {
public:
    explicit CAllocationFailure(int nAllocationsFirst);
    ~CAllocationFailure();
    CAllocationFailure(const CAllocationFailure&) = delete;
    CAllocationFailure& operator=(const CAllocationFailure&) = delete;
};
