// Shared by the fuzz targets: turning fuzzer bytes into the program's texts, and stopping the
// run on a broken rule (libFuzzer saves the input that did it).
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

// Reports the broken rule and aborts: libFuzzer keeps the input as a crash artifact.
#define FUZZ_CHECK(condition)                                                                  \
    do {                                                                                       \
        if (!(condition)) {                                                                    \
            std::fprintf(stderr, "rule broken: %s (%s:%d)\n", #condition, __FILE__, __LINE__); \
            std::abort();                                                                      \
        }                                                                                      \
    } while (0)

// Bytes taken pairwise as UTF-16LE code units, each unit in one wchar_t as the program keeps them.
inline std::wstring unitsFromPairs(const uint8_t* data, size_t size)
{
    std::wstring units(size / 2, L'\0');
    for (size_t i = 0; i < units.size(); ++i) units[i] = static_cast<wchar_t>(data[2 * i] | data[2 * i + 1] << 8);
    return units;
}

// Bytes taken one unit each: JSON structure is ASCII, so this reaches the reader's rules fastest.
inline std::wstring unitsFromBytes(const uint8_t* data, size_t size)
{
    return std::wstring(data, data + size);
}
