#include "platform/TickCount.h"

#include <algorithm>
#include <chrono>

std::uint32_t GetTickCount() {
    const auto elapsed = std::chrono::steady_clock::now().time_since_epoch();
    return static_cast<std::uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(elapsed).count());
}

std::uint32_t TickDistance(std::uint32_t dwFirst, std::uint32_t dwSecond) {
    return std::min(static_cast<std::uint32_t>(dwSecond - dwFirst),
                    static_cast<std::uint32_t>(dwFirst - dwSecond));
}
