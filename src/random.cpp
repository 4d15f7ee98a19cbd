#include "random.h"

#include <chrono>

std::mt19937_64& randomGenerator() {
    static std::mt19937_64 generator;
    return generator;
}

void seedRandom(int64_t seed) {
    randomGenerator().seed(static_cast<uint64_t>(seed));
}

int64_t RandomNumber(int64_t min, int64_t max) {
    if (max <= min) {
        return min;
    }
    // The span is computed unsigned so that the full int64 range cannot overflow.
    const uint64_t span = static_cast<uint64_t>(max) - static_cast<uint64_t>(min);
    std::uniform_int_distribution<uint64_t> draw(0, span - 1);
    return static_cast<int64_t>(static_cast<uint64_t>(min) + draw(randomGenerator()));
}

int64_t wallClockNanoseconds() {
    using namespace std::chrono;
    return duration_cast<nanoseconds>(system_clock::now().time_since_epoch()).count();
}
