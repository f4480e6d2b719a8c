#include "tracking.h"

#include <algorithm>
#include <bit>
#include <cstdlib>
#include <cstring>
#include <utility>

#include "analysisfile.h"
#include "worktables.h"

namespace varnolt {

namespace {

// (8-k)! for k = 0 .. 8: entry 8-m is m!, entry 9-m+p the divisor of position p.
constexpr std::array<std::int32_t, 9> kFactorials = {40320, 5040, 720, 120, 24, 6, 2, 1, 1};

// Below this level a partial's pitch is not trusted: its pitch distance counts as 1
// against a loud partial and 0 against another quiet one.
constexpr std::int32_t kPitchTrustLevel = 1024;

std::int32_t& PitchAt(int frame, int partial) {
    return PitchTable[static_cast<std::size_t>(frame) * kTablePartials + partial];
}

// One partial as the cost sees it.
struct PartialView {
    std::int32_t level;
    std::int32_t logLevel;
    std::int32_t pitch;
};

inline PartialView ViewOf(const std::uint8_t* image, int frame, int partial) {
    const std::int32_t level = PartialLevel(image, frame, partial);
    return {level, LogLevelTable[level], PitchAt(frame, partial)};
}

// The cost of moving partial a of frame f to the position held by b in frame f-1:
// pitch distance times log-level distance.
std::int32_t PairTerm(const PartialView& a, const PartialView& b) {
    const std::int32_t levelDistance = std::abs(a.logLevel - b.logLevel);
    std::int32_t pitchDistance = std::abs(a.pitch - b.pitch);
    if (a.level < kPitchTrustLevel || b.level < kPitchTrustLevel) pitchDistance = 1;
    if (a.level < kPitchTrustLevel && b.level < kPitchTrustLevel) pitchDistance = 0;
    return pitchDistance * levelDistance;
}

std::int32_t OrderingCost(const std::uint8_t* image, int frame, int channelCount, const std::array<int, 8>& order) {
    std::int32_t cost = 0;
    for (int p = 0; p < channelCount; ++p) {
        cost += PairTerm(ViewOf(image, frame, order[p]), ViewOf(image, frame - 1, p));
    }
    return cost;
}

// cheapestRest[Placed] from the entries of its supersets. All but the terms is known
// when compiling, so each set becomes a few straight-line minimums.
template <int M, unsigned Placed>
inline void FillCheapestRest(const std::int32_t (&terms)[M][M], std::array<std::int32_t, 1u << M>& cheapestRest) {
    constexpr int position = std::popcount(Placed);
    std::int32_t cheapest = 2147483647;
#pragma GCC unroll 8
    for (int q = 0; q < M; ++q) {
        if ((Placed & (1u << q)) == 0) {
            cheapest = std::min(cheapest, terms[position][q] + cheapestRest[Placed | (1u << q)]);
        }
    }
    cheapestRest[Placed] = cheapest;
}

// The cheapest ordering without trying them all: the m x m pair terms once, then for
// every set of partials already placed (positions 0 .. k-1) the cheapest way to fill
// positions k .. m-1 with the rest, 2^m sets in all. Walking from position 0, each
// position takes the lowest partial that still leads to the minimum: the
// lexicographically first cheapest ordering, which is the lowest permutation number
// among the cheapest, exactly the one the plain search keeps.
// The channel count is a template argument so that the loops over partials unroll.
template <int M>
OrderingChoice CheapestOrdering(const std::uint8_t* image, int frame) {
    std::int32_t terms[M][M];
    PartialView now[M];
    for (int q = 0; q < M; ++q) now[q] = ViewOf(image, frame, q);
    for (int p = 0; p < M; ++p) {
        const PartialView before = ViewOf(image, frame - 1, p);
        for (int q = 0; q < M; ++q) terms[p][q] = PairTerm(now[q], before);
    }

    // cheapestRest[placed]: the cheapest completion once the partials in placed stand at
    // positions 0 .. count(placed)-1. Supersets are larger numbers, so they come first.
    constexpr unsigned all = (1u << M) - 1;
    std::array<std::int32_t, 1u << M> cheapestRest;
    cheapestRest[all] = 0;
    [&]<unsigned... I>(std::integer_sequence<unsigned, I...>) {
        (FillCheapestRest<M, all - 1 - I>(terms, cheapestRest), ...);
    }(std::make_integer_sequence<unsigned, all>{});

    OrderingChoice best{0, cheapestRest[0]};
    unsigned placed = 0;
    for (int position = 0; position < M; ++position) {
        int rank = 0;  // among the partials not yet placed
        for (int q = 0; q < M; ++q) {
            if (placed & (1u << q)) continue;
            if (terms[position][q] + cheapestRest[placed | (1u << q)] == cheapestRest[placed]) {
                placed |= 1u << q;
                // (M-1-position)!, the weight of the position: from the table, not divided
                // down from (M-1)! position by position.
                best.permutationNumber += rank * kFactorials[9 - M + position];
                break;
            }
            ++rank;
        }
    }
    return best;
}

// Each partial's level and frequency move together, as the 8 bytes of its entry.
void ReorderFrame(std::uint8_t* image, int frame, int channelCount, const std::array<int, 8>& order) {
    std::array<std::uint64_t, 8> entries;
    std::array<std::int32_t, 8> pitches;
    for (int i = 0; i < channelCount; ++i) {
        std::memcpy(&entries[i], PartialAt(image, frame, order[i]), kPartialBytes);
        pitches[i] = PitchAt(frame, order[i]);
    }
    for (int i = 0; i < channelCount; ++i) {
        std::memcpy(PartialAt(image, frame, i), &entries[i], kPartialBytes);
        PitchAt(frame, i) = pitches[i];
    }
}

}  // namespace

void BuildPermutationTable(int channelCount) {
    const int m = channelCount;
    for (std::int32_t number = 0; number < kFactorials[8 - m]; ++number) {
        std::array<std::int32_t, 8> items = {0, 1, 2, 3, 4, 5, 6, 7};
        for (int p = 0; p < m; ++p) {
            // Items from p on stay ascending, so r picks the r-th smallest unplaced partial.
            const int r = (number / kFactorials[9 - m + p]) % (m - p);
            const std::int32_t taken = items[p + r];
            for (int i = p + r; i > p; --i) items[i] = items[i - 1];
            items[p] = taken;
        }
        std::int32_t packed = 0;
        for (int i = 0; i < 8; ++i) packed += items[i] << (3 * i);
        PermutationTable[number] = packed;
    }
}

std::array<int, 8> UnpackOrdering(std::int32_t packed) {
    std::array<int, 8> order{};
    for (int i = 0; i < 8; ++i) order[i] = (packed >> (3 * i)) & 7;
    return order;
}

OrderingChoice FindCheapestOrdering(const std::uint8_t* image, int frame, int channelCount) {
    switch (channelCount) {
        case 1: return CheapestOrdering<1>(image, frame);
        case 2: return CheapestOrdering<2>(image, frame);
        case 3: return CheapestOrdering<3>(image, frame);
        case 4: return CheapestOrdering<4>(image, frame);
        case 5: return CheapestOrdering<5>(image, frame);
        case 6: return CheapestOrdering<6>(image, frame);
        case 7: return CheapestOrdering<7>(image, frame);
        default: return CheapestOrdering<8>(image, frame);
    }
}

OrderingChoice FindCheapestOrderingPlain(const std::uint8_t* image, int frame, int channelCount) {
    OrderingChoice best{0, 2147483647};
    for (int number = 0; number < kFactorials[8 - channelCount]; ++number) {
        const std::int32_t cost = OrderingCost(image, frame, channelCount, UnpackOrdering(PermutationTable[number]));
        if (cost < best.cost) best = {number, cost};
    }
    return best;
}

namespace {

template <OrderingChoice (*FindCheapest)(const std::uint8_t*, int, int)>
void TrackWith(std::uint8_t* image, int frameCount, int channelCount) {
    for (int f = 1; f < frameCount; ++f) {
        const OrderingChoice best = FindCheapest(image, f, channelCount);
        ReorderFrame(image, f, channelCount, UnpackOrdering(PermutationTable[best.permutationNumber]));
    }
}

}  // namespace

void TrackChannels(std::uint8_t* image, int frameCount, int channelCount) {
    TrackWith<FindCheapestOrdering>(image, frameCount, channelCount);
}

void TrackChannelsPlain(std::uint8_t* image, int frameCount, int channelCount) {
    TrackWith<FindCheapestOrderingPlain>(image, frameCount, channelCount);
}

}  // namespace varnolt
