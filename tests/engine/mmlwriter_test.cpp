#include "mmlwriter.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "worktables.h"

namespace varnolt {
namespace {

const std::string kHeader =
    "10 _MUSIC(1,0,1,1,1,1,1)\r\n"
    "20 DEFINTT:DIMT(15):T(8)=&H3F22:T(9)=&HF0:T(12)=&H22:T(13)=&HFF0\r\n"
    "30 _VOICE COPY(T,@63)\r\n";

struct NoteVolumePair {
    int note;
    int volume;
};

// Only the stages write the table in a conversion, and they rely on finding it zero
// past what they wrote: each test leaves it as the program starts.
class WriteMmlProgramTest : public ::testing::Test {
protected:
    void TearDown() override { NoteVolumeTable.fill(0); }
};

// Fills NoteVolumeTable from rows of up to five pairs, the rest zero as quantisation leaves it.
void FillTable(const std::vector<std::vector<NoteVolumePair>>& frames) {
    NoteVolumeTable.fill(0);
    for (std::size_t f = 0; f < frames.size(); ++f) {
        for (std::size_t k = 0; k < frames[f].size(); ++k) {
            NoteVolumeTable[f * 10 + k * 2] = static_cast<std::uint8_t>(frames[f][k].note);
            NoteVolumeTable[f * 10 + k * 2 + 1] = static_cast<std::uint8_t>(frames[f][k].volume);
        }
    }
}

std::string Program(int frameCount, int channelCount, int framesPerSecond) {
    const int length = WriteMmlProgram(frameCount, channelCount, framesPerSecond);
    return std::string(TextBuffer.data(), static_cast<std::size_t>(length));
}

TEST_F(WriteMmlProgramTest, SevenFramesThreeChannels) {
    FillTable({{{57, 12}, {0, 0}, {40, 5}, {1, 1}, {2, 2}},
               {{57, 12}, {0, 0}, {41, 5}, {1, 1}, {2, 2}},
               {{69, 12}, {0, 0}, {42, 6}},
               {{58, 10}, {48, 8}, {0, 0}},
               {{26, 10}, {0, 0}, {42, 6}},
               {{33, 0}, {0, 0}, {0, 0}},
               {{61, 15}, {0, 0}, {54, 6}}});
    const std::string expected =
        kHeader +
        "1000 PLAY#2,\"@63T120L60V12O4A&A&>A&V10<A+&O2D&R60\",\"@63T120L60R20V8O4C&R30\","
        "\"@63T120L60V5O3E&F&V6F+&R60F+&R60\"\r\n"
        "1010 PLAY#2,\"V15O5C+&R12\",\"R10\",\">F+&R12\"\r\n";
    const std::string program = Program(7, 3, 30);
    EXPECT_EQ(program, expected);
    EXPECT_EQ(program.size(), 270u);
}

TEST_F(WriteMmlProgramTest, OneFrameFiveChannelsAtSixtyFramesPerSecond) {
    FillTable({{{57, 15}, {64, 9}, {45, 3}, {50, 0}, {70, 12}}});
    const std::string program = Program(1, 5, 60);
    EXPECT_EQ(program, kHeader +
                           "1000 PLAY#2,\"@63T240L60V15O4A&R12\",\"@63T240L60V9O5E&R12\",\"@63T240L60V3O3A&R12\","
                           "\"@63T240L60R10\",\"@63T240L60V12O5A+&R12\"\r\n");
    EXPECT_EQ(program.size(), 235u);
}

TEST_F(WriteMmlProgramTest, NoFrameGivesTheHeaderAlone) {
    FillTable({});
    TextBuffer.fill('#');  // an earlier, longer text must not leak into the result
    EXPECT_EQ(Program(0, 4, 30), kHeader);
    EXPECT_EQ(kHeader.size(), 115u);
}

TEST_F(WriteMmlProgramTest, TempoHeaderFollowsTheFrameRate) {
    FillTable({});
    const std::pair<int, std::string> cases[] = {
        {15, "@63T60L60"}, {20, "@63T80L60"}, {30, "@63T120L60"}, {60, "@63T240L60"}, {25, "@63T240L60"}};
    for (const auto& [framesPerSecond, header] : cases) {
        EXPECT_EQ(Program(1, 3, framesPerSecond),
                  kHeader + "1000 PLAY#2,\"" + header + "R10\",\"" + header + "R10\",\"" + header + "R10\"\r\n");
    }
}

TEST_F(WriteMmlProgramTest, RestRunsOctaveMarksAndCarriedState) {
    struct Case {
        const char* what;
        std::vector<NoteVolumePair> channel0;  // frames 0 .. 11
        std::string line1000, line1010;
    } cases[] = {
        {"runs of 1 to 6 rests",
         {{0, 0}, {57, 1}, {0, 0}, {0, 0}, {57, 1}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {57, 1}, {0, 0}, {0, 0}},
         "R60V1O4A&R30A&R60", "R20A&R30"},
        {"rest rest note rest", {{0, 0}, {0, 0}, {60, 2}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}},
         "R30V2O5C&R20", "R10"},
        {"rests on both lines", {{24, 3}, {24, 3}, {24, 3}, {24, 3}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}},
         "V3O2C&C&C&C&R30", "R10"},
        {"octave marks and octave 10",
         {{120, 9}, {132, 9}, {120, 9}, {96, 9}, {255, 9}, {11, 9}, {23, 10}, {23, 11}, {0, 0}, {0, 0}, {0, 0}, {0, 0}},
         "V9O:C&>C&<C&O8C&OED+&O0B&", "V10>B&V11B&R15"},
        {"state carries over rests and lines",
         {{57, 12}, {0, 0}, {57, 12}, {0, 0}, {0, 0}, {0, 0}, {69, 12}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}},
         "V12O4A&R60A&R20", ">A&R12"},
        {"volume zero is a rest whatever the note", {{57, 0}, {58, 0}, {59, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}, {0, 0}},
         "R10", "R10"},
    };
    for (const Case& c : cases) {
        std::vector<std::vector<NoteVolumePair>> frames;
        for (const NoteVolumePair& pair : c.channel0) frames.push_back({pair, {40, 7}, {40, 7}, {41, 8}, {42, 9}});
        FillTable(frames);
        const std::string steady = "V7O3E&E&E&E&E&E&";
        EXPECT_EQ(Program(12, 3, 30), kHeader + "1000 PLAY#2,\"@63T120L60" + c.line1000 + "\",\"@63T120L60" + steady +
                                          "\",\"@63T120L60" + steady + "\"\r\n1010 PLAY#2,\"" + c.line1010 +
                                          "\",\"E&E&E&E&E&E&\",\"E&E&E&E&E&E&\"\r\n")
            << c.what;
    }
}

TEST_F(WriteMmlProgramTest, LargestInputGivesTheLargestText) {
    // Every frame a sharp note two octaves from the last, with a new two-digit volume.
    std::vector<std::vector<NoteVolumePair>> frames(17999);
    for (std::size_t f = 0; f < frames.size(); ++f) {
        const NoteVolumePair pair = f % 2 == 0 ? NoteVolumePair{13, 10} : NoteVolumePair{49, 11};
        frames[f].assign(5, pair);
    }
    FillTable(frames);
    const std::string program = Program(17999, 5, 60);
    EXPECT_EQ(program.size(), 806240u);
    const std::string lastLine = program.substr(program.rfind("\r\n", program.size() - 3) + 2);
    EXPECT_EQ(lastLine.substr(0, 13), "30990 PLAY#2,");
    EXPECT_EQ(lastLine.substr(lastLine.size() - 22), "V11O4C+&V10O1C+&R60\"\r\n");
}

TEST(AppendDecimal, WritesAtMostTenCharacters) {
    const std::pair<std::int32_t, std::string> cases[] = {
        {0, "0"}, {7, "7"}, {15, "15"}, {-5, "-5"}, {30990, "30990"}, {2147483647, "2147483647"},
        {-2147483647 - 1, "-214748364"}};
    for (const auto& [value, text] : cases) {
        char buffer[16] = {};
        char* position = buffer;
        AppendDecimal(position, value);
        EXPECT_EQ(std::string(buffer, position), text);
    }
}

}  // namespace
}  // namespace varnolt
