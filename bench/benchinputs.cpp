#include "benchinputs.h"

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>

#include "analysisfile.h"

namespace varnolt::bench {

namespace {

std::string GlidingPartials(int frameCount) {
    std::string bytes(static_cast<std::size_t>(frameCount + 1) * kRecordBytes, '\0');
    auto* image = reinterpret_cast<std::uint8_t*>(bytes.data());
    for (int f = 0; f < frameCount; ++f) {
        std::array<PartialEntry, kPartialsPerFrame> partials{};
        for (int p = 0; p < kPartialsPerFrame; ++p) {
            // Each partial sweeps up and down two octaves at its own pace, so they cross.
            const double phase = f * (0.004 + 0.0017 * p) + p;
            const double hertz = 110.0 * std::exp2(2.0 + 2.0 * std::sin(phase));
            const double level = 20000.0 + 18000.0 * std::sin(f * 0.02 + 1.3 * p);
            partials[p] = {static_cast<std::int32_t>(level), static_cast<std::int32_t>(hertz * 10.0)};
        }
        // Loudest first, as analysers write them: the slots change as levels cross.
        std::sort(partials.begin(), partials.end(),
                  [](const PartialEntry& a, const PartialEntry& b) { return a.level > b.level; });
        for (int p = 0; p < kPartialsPerFrame; ++p) {
            SetPartialLevel(image, f, p, partials[p].level);
            SetPartialFrequency(image, f, p, partials[p].frequency);
        }
    }
    StoreInt32(image + static_cast<std::size_t>(frameCount) * kRecordBytes + kFrameRateCodeOffset, 30);
    return bytes;
}

}  // namespace

std::string LargestInput() { return GlidingPartials(kMaxRecords - 1); }

std::string TypicalInput() { return GlidingPartials(300); }

}  // namespace varnolt::bench
