#pragma once

#include <cstdint>
#include <random>

// The process-wide pseudo-random generator: seeded once at start-up and used
// by the starfield, the particle effects and everything that picks at random.
std::mt19937_64& randomGenerator();

// Seeds the process-wide generator. Start-up seeds it from the wall clock;
// tests and the capture tool seed it with fixed values to get repeatable runs.
void seedRandom(int64_t seed);

// The wall-clock time in nanoseconds since the epoch: the seed of a run that
// is meant to differ from every other.
int64_t wallClockNanoseconds();

// A uniformly distributed integer from min up to but not including max.
// Callers pass max > min; otherwise min is returned.
int64_t RandomNumber(int64_t min, int64_t max);
