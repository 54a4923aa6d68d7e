// A millisecond tick count that wraps at 32 bits, as the link measures its waits.
#pragma once

#include <cstdint>

// Milliseconds of a steady clock, cut to 32 bits (wraps after about 49.7 days).
std::uint32_t GetTickCount();
// The distance between two tick counts in ms, whichever was taken first; correct across a wrap.
std::uint32_t TickDistance(std::uint32_t dwFirst, std::uint32_t dwSecond);
