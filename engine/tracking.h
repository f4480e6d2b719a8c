// Channel tracking: reorders the first m partials of every frame so that each position
// follows one continuous voice: of all m! orderings against the previous frame, the
// cheapest.
#pragma once

#include <array>
#include <cstdint>

namespace varnolt {

// Entries 0 .. m!-1 of PermutationTable: the orderings of 0 .. m-1 in lexicographic
// order, packed 3 bits a position (position 0 lowest); positions m .. 7 hold m .. 7.
void BuildPermutationTable(int channelCount);

// P[i] = the partial that moves to position i.
std::array<int, 8> UnpackOrdering(std::int32_t packed);

struct OrderingChoice {
    int permutationNumber;
    std::int32_t cost;
};

// The cheapest ordering of frame f against frame f-1 (already reordered); the lowest
// permutation number wins a tie. Works from the m x m pair terms and the cheapest
// completion of every set of placed partials, instead of summing all m! orderings.
OrderingChoice FindCheapestOrdering(const std::uint8_t* image, int frame, int channelCount);

// The same choice by summing every ordering of PermutationTable term by term: the
// reference the search above is tested against.
OrderingChoice FindCheapestOrderingPlain(const std::uint8_t* image, int frame, int channelCount);

// Frames 1 .. frameCount-1 in turn, reordered in the image and in PitchTable.
void TrackChannels(std::uint8_t* image, int frameCount, int channelCount);

// The same with the plain search, for tests and benchmarks.
void TrackChannelsPlain(std::uint8_t* image, int frameCount, int channelCount);

}  // namespace varnolt
