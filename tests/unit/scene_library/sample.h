// sample.h - the colours of the loader tests' sample scene libraries.
#pragma once

#include <cstdint>

constexpr uint32_t SAMPLE_A_COLOUR = 0xFF1020A0u;
constexpr uint32_t SAMPLE_B_COLOUR = 0xFF30C040u;
