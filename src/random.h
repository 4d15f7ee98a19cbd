#pragma once

#include <cstdint>
#include <random>

// The process-wide pseudo-random generator: seeded once at start-up and used
// by the starfield, the particle effects and everything that picks at random.
std::mt19937_64& randomGenerator();

// Seeds the process-wide generator. The entry seeds it from the wall clock;
// tests seed it with fixed values to get repeatable runs.
void seedRandom(int64_t seed);

// A uniformly distributed integer from min up to but not including max.
// Callers pass max > min; otherwise min is returned.
int64_t RandomNumber(int64_t min, int64_t max);
