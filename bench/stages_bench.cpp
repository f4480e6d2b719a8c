// Each stage of a conversion, and the whole conversion, on the largest accepted input
// (5 channels) and on a typical one (4 channels).
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstring>
#include <fstream>
#include <vector>

#include "analysisfile.h"
#include "benchinputs.h"
#include "driver.h"
#include "mmlwriter.h"
#include "quantise.h"
#include "scales.h"
#include "tracking.h"
#include "worktables.h"

namespace varnolt::bench {

namespace {

struct Input {
    const char* name;
    std::string bytes;
    int channelCount;
};

const Input& Largest() {
    static const Input input{"largest", LargestInput(), 5};
    return input;
}
const Input& Typical() {
    static const Input input{"typical", TypicalInput(), 4};
    return input;
}

// The loaded image and the tables as they stand when each stage starts.
struct Prepared {
    std::vector<std::uint8_t> loaded;      // as read from the file
    std::vector<std::uint8_t> normalised;  // after NormaliseLevels
    std::vector<std::int32_t> pitches;     // PitchTable rows before tracking
    std::vector<std::uint8_t> tracked;     // after TrackChannels
    int recordCount = 0;
    int frameCount = 0;
    int channelCount = 0;

    explicit Prepared(const Input& input) : channelCount(input.channelCount) {
        loaded.assign(input.bytes.begin(), input.bytes.end());
        loaded.resize(loaded.size() + kZeroTailBytes, 0);
        recordCount = static_cast<int>(input.bytes.size() / kRecordBytes);
        normalised = loaded;
        frameCount = NormaliseLevels(normalised.data(), recordCount).frameCount;
        BuildPitchTable(normalised.data(), frameCount, channelCount);
        BuildLogLevelTable();
        pitches.assign(PitchTable.begin(), PitchTable.begin() + frameCount * kTablePartials);
        tracked = normalised;
        BuildPermutationTable(channelCount);
        TrackChannels(tracked.data(), frameCount, channelCount);
    }
};

void CopyImage(benchmark::State& state, const Input& input) {
    Prepared prepared(input);
    std::vector<std::uint8_t> image = prepared.loaded;
    for (auto _ : state) {
        std::memcpy(image.data(), prepared.loaded.data(), image.size());
        benchmark::DoNotOptimize(image.data());
    }
}

void NormaliseLevelsStage(benchmark::State& state, const Input& input) {
    Prepared prepared(input);
    std::vector<std::uint8_t> image = prepared.loaded;
    for (auto _ : state) {
        std::memcpy(image.data(), prepared.loaded.data(), image.size());  // see CopyImage
        benchmark::DoNotOptimize(NormaliseLevels(image.data(), prepared.recordCount));
    }
}

void BuildPitchTableStage(benchmark::State& state, const Input& input) {
    Prepared prepared(input);
    for (auto _ : state) BuildPitchTable(prepared.normalised.data(), prepared.frameCount, prepared.channelCount);
}

void BuildLogLevelTableStage(benchmark::State& state, const Input&) {
    for (auto _ : state) BuildLogLevelTable();
}

template <void (*Track)(std::uint8_t*, int, int)>
void TrackChannelsStage(benchmark::State& state, const Input& input) {
    Prepared prepared(input);
    std::vector<std::uint8_t> image = prepared.normalised;
    for (auto _ : state) {
        // Tracking rewrites the image and PitchTable: start each round from the same state.
        std::memcpy(image.data(), prepared.normalised.data(), image.size());
        std::copy(prepared.pitches.begin(), prepared.pitches.end(), PitchTable.begin());
        BuildPermutationTable(prepared.channelCount);
        Track(image.data(), prepared.frameCount, prepared.channelCount);
    }
}

void BuildLevelAndFrequencyTablesStage(benchmark::State& state, const Input& input) {
    Prepared prepared(input);
    for (auto _ : state) BuildLevelAndFrequencyTables(prepared.tracked.data(), prepared.frameCount, 65535);
}

void QuantiseNotesAndVolumesStage(benchmark::State& state, const Input& input) {
    Prepared prepared(input);
    BuildLevelAndFrequencyTables(prepared.tracked.data(), prepared.frameCount, 65535);
    for (auto _ : state) QuantiseNotesAndVolumes(prepared.frameCount, 100);
}

void WriteMmlProgramStage(benchmark::State& state, const Input& input) {
    Prepared prepared(input);
    BuildLevelAndFrequencyTables(prepared.tracked.data(), prepared.frameCount, 65535);
    QuantiseNotesAndVolumes(prepared.frameCount, 100);
    for (auto _ : state) benchmark::DoNotOptimize(WriteMmlProgram(prepared.frameCount, prepared.channelCount, 30));
}

std::string ScratchFile(const char* name) {
    return (std::string(::access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp") + "/varnolt-bench-" +
            std::to_string(::getpid()) + "-" + name);
}

void WholeConversion(benchmark::State& state, const Input& input) {
    const std::string path = ScratchFile(input.name) + ".dat";
    std::ofstream(path, std::ios::binary) << input.bytes;
    ConversionInputs inputs;
    inputs.pathText = path;
    inputs.volumeText = "100";
    inputs.unit30Selected = true;
    inputs.ch4Selected = input.channelCount == 4;
    inputs.ch5Selected = input.channelCount == 5;
    for (auto _ : state) {
        RunConversion(inputs, [&](const std::string& text, MessageKind) {
            if (text != "終了しました") state.SkipWithError(text.c_str());
        });
    }
    ::unlink(path.c_str());
    ::unlink((path.substr(0, path.size() - 4) + ".txt").c_str());
}

void RegisterAll() {
    using Stage = void (*)(benchmark::State&, const Input&);
    const std::pair<const char*, Stage> stages[] = {
        {"CopyImage", CopyImage},
        {"NormaliseLevels", NormaliseLevelsStage},
        {"BuildPitchTable", BuildPitchTableStage},
        {"BuildLogLevelTable", BuildLogLevelTableStage},
        {"TrackChannels", TrackChannelsStage<TrackChannels>},
        {"TrackChannelsPlain", TrackChannelsStage<TrackChannelsPlain>},
        {"BuildLevelAndFrequencyTables", BuildLevelAndFrequencyTablesStage},
        {"QuantiseNotesAndVolumes", QuantiseNotesAndVolumesStage},
        {"WriteMmlProgram", WriteMmlProgramStage},
        {"WholeConversion", WholeConversion},
    };
    for (const Input* input : {&Largest(), &Typical()}) {
        for (const auto& [name, stage] : stages) {
            benchmark::RegisterBenchmark((std::string(name) + "/" + input->name).c_str(),
                                         [stage = stage, input](benchmark::State& state) { stage(state, *input); })
                ->Unit(benchmark::kMicrosecond);
        }
    }
}

}  // namespace

}  // namespace varnolt::bench

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    varnolt::bench::RegisterAll();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
