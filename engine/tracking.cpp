#include "tracking.h"

#include <cstdlib>

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

std::int32_t OrderingCost(const std::uint8_t* image, int frame, int channelCount, const std::array<int, 8>& order) {
    std::int32_t cost = 0;
    for (int p = 0; p < channelCount; ++p) {
        const std::int32_t a = PartialLevel(image, frame, order[p]);
        const std::int32_t b = PartialLevel(image, frame - 1, p);
        const std::int32_t levelDistance = std::abs(LogLevelTable[a] - LogLevelTable[b]);
        std::int32_t pitchDistance = std::abs(PitchAt(frame, order[p]) - PitchAt(frame - 1, p));
        if (a < kPitchTrustLevel || b < kPitchTrustLevel) pitchDistance = 1;
        if (a < kPitchTrustLevel && b < kPitchTrustLevel) pitchDistance = 0;
        cost += pitchDistance * levelDistance;
    }
    return cost;
}

void ReorderFrame(std::uint8_t* image, int frame, int channelCount, const std::array<int, 8>& order) {
    std::array<std::int32_t, 8> temporary{};
    for (int i = 0; i < channelCount; ++i) temporary[i] = PartialFrequency(image, frame, order[i]);
    for (int i = 0; i < channelCount; ++i) SetPartialFrequency(image, frame, i, temporary[i]);
    for (int i = 0; i < channelCount; ++i) temporary[i] = PartialLevel(image, frame, order[i]);
    for (int i = 0; i < channelCount; ++i) SetPartialLevel(image, frame, i, temporary[i]);
    for (int i = 0; i < channelCount; ++i) temporary[i] = PitchAt(frame, order[i]);
    for (int i = 0; i < channelCount; ++i) PitchAt(frame, i) = temporary[i];
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
    OrderingChoice best{0, 2147483647};
    for (int number = 0; number < kFactorials[8 - channelCount]; ++number) {
        const std::int32_t cost = OrderingCost(image, frame, channelCount, UnpackOrdering(PermutationTable[number]));
        if (cost < best.cost) best = {number, cost};
    }
    return best;
}

void TrackChannels(std::uint8_t* image, int frameCount, int channelCount) {
    for (int f = 1; f < frameCount; ++f) {
        const OrderingChoice best = FindCheapestOrdering(image, f, channelCount);
        ReorderFrame(image, f, channelCount, UnpackOrdering(PermutationTable[best.permutationNumber]));
    }
}

}  // namespace varnolt
