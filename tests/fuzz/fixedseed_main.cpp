// SPDX-License-Identifier: GPL-3.0-or-later
// Runs a fuzz target on a fixed-seed stream of random inputs, so that every build exercises it
// without clang. A crash, a sanitizer report or an escaped exception fails the test.
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size);

int main(int argc, char **argv)
{
    const long runs = argc > 1 ? std::strtol(argv[1], nullptr, 10) : 10000;
    std::mt19937_64 random(0x5EED'2026u);
    std::vector<uint8_t> input;
    for (long i = 0; i < runs; ++i) {
        // Mostly short inputs, where parsers have their edges, and now and then a long one.
        const size_t size = (i % 50 == 0) ? random() % 4096 : random() % 200;
        input.resize(size);
        for (auto &byte : input)
            byte = uint8_t(random());
        LLVMFuzzerTestOneInput(input.data(), input.size());
    }
    std::printf("%ld random inputs, 0 failures\n", runs);
    return 0;
}
