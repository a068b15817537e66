#pragma once
#include <cstddef>
#include <cstdint>
#include <string_view>

// The bodies of the libFuzzer targets, one per kind of input the viewer reads. Each takes the
// bytes of one file, runs them through the reader's in-memory entry point and then through what
// the viewer does next with the result, and checks that what came out is consistent. A broken
// check prints one line and aborts, so that the fuzzer keeps the input.
//
// The readers report a refused file as a value; the bodies free what the reader left behind and
// report the outcome, with the exit status the viewer would end with for a model file.
//
// The same bodies serve the fuzz targets (fuzz_entry.cpp) and the regression test, which runs
// every seed and every saved crash through them.

enum class FuzzOutcome {
    Loaded,  // the reader accepted the bytes
    Refused, // the reader refused them; the viewer keeps its earlier data (maps, orbits, lists)
    Ended,   // the reader refused a file without which the viewer ends (a model)
};

struct FuzzResult {
    FuzzOutcome outcome = FuzzOutcome::Loaded;
    int status = 0; // the viewer's exit status when outcome is Ended
};

FuzzResult fuzzOff(const uint8_t* data, size_t size);
FuzzResult fuzzSmf(const uint8_t* data, size_t size);
// The OBJ text, optionally followed by objMtlSeparator and the bytes of the material file that
// any "mtllib" line names.
FuzzResult fuzzObj(const uint8_t* data, size_t size);
FuzzResult fuzzPly(const uint8_t* data, size_t size);
FuzzResult fuzzPgm(const uint8_t* data, size_t size);
// The gradient image is checked against a goodness map whose size is taken from the first two
// numbers in its 15-byte header when both lie in 1..64 (else a 3 x 2 map), or over no map at
// all when the header holds fewer than two numbers.
FuzzResult fuzzVgf(const uint8_t* data, size_t size);
FuzzResult fuzzOrbit(const uint8_t* data, size_t size);
FuzzResult fuzzLists(const uint8_t* data, size_t size);

// Splits an OBJ fuzz input into the OBJ bytes and the material file bytes.
inline constexpr std::string_view objMtlSeparator{"\0MTL\0", 5};
