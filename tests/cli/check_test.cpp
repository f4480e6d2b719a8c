// Will the program load and play: varnolt check, and the same check after convert.
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>
#include <string>
#include <vector>

#include "driver.h"
#include "fixtures.h"
#include "process.h"
#include "programcheck.h"

namespace {

using varnolt::cli::CheckProgramText;
using varnolt::cli::FindingText;
using varnolt::testing::AnalysisFileBuilder;
using varnolt::testing::ProcessOptions;
using varnolt::testing::ProcessResult;
using varnolt::testing::ReadFile;
using varnolt::testing::RunProcess;
using varnolt::testing::ScratchFolder;
using varnolt::testing::WriteFile;

const std::string kHeader =
    "10 _MUSIC(1,0,1,1,1,1,1)\r\n"
    "20 DEFINTT:DIMT(15):T(8)=&H3F22:T(9)=&HF0:T(12)=&H22:T(13)=&HFF0\r\n"
    "30 _VOICE COPY(T,@63)\r\n";

std::vector<std::string> Findings(const std::string& program) {
    std::vector<std::string> texts;
    for (const auto& finding : CheckProgramText(program)) texts.push_back(FindingText(finding));
    return texts;
}

// A statement line as the converter writes it; with one string, 14 bytes more than the string.
std::string PlayLine(int number, const std::vector<std::string>& strings) {
    std::string line = std::to_string(number) + " PLAY#2,";
    for (const std::string& mml : strings) line += "\"" + mml + "\",";
    line.back() = '\r';
    return line + "\n";
}

TEST(ProgramCheck, EachKindOfFinding) {
    const struct {
        const char* what;
        std::string program;
        std::vector<std::string> findings;
    } cases[] = {
        {"a line of 255 bytes loads whole, one of 256 is cut",
         kHeader + PlayLine(1000, {std::string(241, 'A')}) + PlayLine(1010, {std::string(242, 'A')}),
         {"line 1010: the line is 256 characters long (CR LF not counted); LOAD keeps only the first 255"}},
        {"a PLAY string of 255 characters is taken, one of 256 is not",
         kHeader + PlayLine(1000, {std::string(255, 'A'), std::string(256, 'A')}),
         {"line 1000: the line is 528 characters long (CR LF not counted); LOAD keeps only the first 255",
          "line 1000: PLAY string 2 is 256 characters long; PLAY takes at most 255"}},
        {"values at the edges of their ranges",
         kHeader + PlayLine(1000, {"O1O8L1L64R1R64C1C+64T32T255V0V15@0@63A", "O0O9L0L65R0R65C0C+65T31T256V16@64A"}),
         {"line 1000: PLAY string 2: octave O0 at character 1 is out of range 1-8",
          "line 1000: PLAY string 2: octave O9 at character 3 is out of range 1-8",
          "line 1000: PLAY string 2: length L0 at character 5 is out of range 1-64",
          "line 1000: PLAY string 2: length L65 at character 7 is out of range 1-64",
          "line 1000: PLAY string 2: rest R0 at character 10 is out of range 1-64",
          "line 1000: PLAY string 2: rest R65 at character 12 is out of range 1-64",
          "line 1000: PLAY string 2: note length C0 at character 15 is out of range 1-64",
          "line 1000: PLAY string 2: note length C+65 at character 17 is out of range 1-64",
          "line 1000: PLAY string 2: tempo T31 at character 21 is out of range 32-255",
          "line 1000: PLAY string 2: tempo T256 at character 24 is out of range 32-255",
          "line 1000: PLAY string 2: volume V16 at character 28 is out of range 0-15",
          "line 1000: PLAY string 2: voice @64 at character 31 is out of range 0-63"}},
        {"> and < lead out of range from the octave each string carried over, 4 at first",
         kHeader + PlayLine(1000, {"O8A&", "O1A&", "A"}) + PlayLine(1010, {">A&<A&", "<A&>A&", ">>>>A>A"}),
         {"line 1010: PLAY string 1: '>' at character 1 raises the octave to 9, out of range 1-8",
          "line 1010: PLAY string 2: '<' at character 1 lowers the octave to 0, out of range 1-8",
          "line 1010: PLAY string 3: '>' at character 6 raises the octave to 9, out of range 1-8"}},
        {"the octave marks the converter writes for octaves 0 and 10 to 21",
         kHeader + PlayLine(1000, {"@63T120L60V9O:C&>C&<C&O8C&OED+&O0B&"}),
         {"line 1000: PLAY string 1: octave O: (octave 10) at character 13 is out of range 1-8",
          "line 1000: PLAY string 1: '>' at character 17 raises the octave to 11, out of range 1-8",
          "line 1000: PLAY string 1: '<' at character 20 lowers the octave to 10, out of range 1-8",
          "line 1000: PLAY string 1: octave OE (octave 21) at character 27 is out of range 1-8",
          "line 1000: PLAY string 1: octave O0 at character 32 is out of range 1-8"}},
        {"lines that cannot be read",
         kHeader + "PLAY#2,\"A\"\r\n65529 END\r\n65530 END\r\n1000\tPLAY#2,\"A\"\r\n1010 A=1:PRINT \"HI\"\r\n",
         {"physical line 4: no line number at the start of the line",
          "physical line 6: line number 65530 is out of range 0-65529",
          "line 1000: control byte \\x09 at character 5: LOAD may not read the line as it stands",
          "line 1010: statement 2: cannot read the statement 'PRINT \"HI\"'"}},
        {"PLAY statements that cannot be read (the last line has no CR LF)",
         "1000 PLAY#2,\"A\",B$\r\n1010 PLAY#2,\"A\r\n1020 PLAY#2,\"A\",\r\n1030 PLAY#2\r\n1040 PLAY#2,\"A\"B",
         {"line 1000: PLAY string 2 is not a quoted string: 'B$' cannot be checked",
          "line 1010: PLAY string 1 has no closing quote",
          "line 1020: a comma ends the PLAY statement, with no string after it",
          "line 1030: cannot read the PLAY statement: '#' is not followed by a device number and a comma",
          "line 1040: PLAY string 1 is followed by 'B' where a comma or the end of the statement belongs"}},
        {"MML that cannot be read; after it the octave is not followed",
         PlayLine(1000, {"V&A&&", "O&>>>>>A", "c", "N5O9"}),
         {"line 1000: PLAY string 1: 'V' at character 1 has no number",
          "line 1000: PLAY string 1: '&' at character 2 does not follow a note",
          "line 1000: PLAY string 1: '&' at character 5 does not follow a note",
          "line 1000: PLAY string 2: 'O' at character 1 has no octave number",
          "line 1000: PLAY string 2: '&' at character 2 does not follow a note",
          "line 1000: PLAY string 3: 'c' at character 1 is not an MML command this check reads; the rest of the string is "
          "not checked",
          "line 1000: PLAY string 4: 'N' at character 1 is not an MML command this check reads; the rest of the string is "
          "not checked"}},
        {"lines a person may add, read and found clean",
         kHeader +
             "5 REM made with varnolt: \"x\r\n"
             "   \r\n"
             "40 DEFINT A-Z:DIM A(3),B$(2,3):LET X=3:A(1)=X+1 ' PLAY \"O9\"\r\n"
             "50 call music:beep:GOSUB 100:GOTO 10\r\n"
             "60 PLAY \"O5A4.\",,\"T255\":RETURN\r\n"
             "70 play #2,\"O8A\":BEEP:PLAY#2,\">A\":END\r\n"
             "\x1a" "after the end mark: O9\r\n",
         {}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(Findings(c.program), c.findings) << c.what;
        // As read from a file: pieces that split lines, CR LF pairs and the end mark.
        for (const std::size_t pieceSize : {1, 7}) {
            varnolt::cli::ProgramTextChecker checker;
            for (std::size_t i = 0; i < c.program.size(); i += pieceSize) checker.Add(c.program.substr(i, pieceSize));
            std::vector<std::string> texts;
            for (const auto& finding : checker.Finish()) texts.push_back(FindingText(finding));
            EXPECT_EQ(texts, c.findings) << c.what << ", in pieces of " << pieceSize;
        }
    }
}

TEST(ProgramCheck, TheConvertersProgramsAreClean) {
    const std::string programs[] = {
        kHeader +
            "1000 PLAY#2,\"@63T120L60V12O4A&A&>A&V10<A+&O2D&R60\",\"@63T120L60R20V8O4C&R30\","
            "\"@63T120L60V5O3E&F&V6F+&R60F+&R60\"\r\n"
            "1010 PLAY#2,\"V15O5C+&R12\",\"R10\",\">F+&R12\"\r\n",
        kHeader +
            "1000 PLAY#2,\"@63T240L60V15O4A&R12\",\"@63T240L60V9O5E&R12\",\"@63T240L60V3O3A&R12\","
            "\"@63T240L60R10\",\"@63T240L60V12O5A+&R12\"\r\n",
        kHeader,
        ReadFile(VARNOLT_EXAMPLES_DIR "/glide.txt"),
    };
    for (const std::string& program : programs) EXPECT_EQ(Findings(program), std::vector<std::string>{}) << program;
}

ProcessResult Varnolt(const ScratchFolder& folder, const std::vector<std::string>& arguments, bool oneStream = false) {
    ProcessOptions options{folder.Path().string(), RLIM_INFINITY, 10};
    options.stderrIntoStdout = oneStream;
    return varnolt::testing::RunVarnolt(arguments, options);
}

TEST(VarnoltCheck, OneLinePerFindingAndTheExitStatus) {
    ScratchFolder folder;
    WriteFile(folder / "clean.txt", ReadFile(VARNOLT_EXAMPLES_DIR "/glide.txt"));
    WriteFile(folder / "high.txt", kHeader + PlayLine(1000, {"O9A"}) + "PLAY#2,\"A\"\r\n" + PlayLine(1010, {"V16A"}));
    ASSERT_EQ(::mkfifo((folder / "fifo.txt").c_str(), 0600), 0);
    // Read in several pieces, its last line counted on from the first piece.
    std::string longProgram = kHeader;
    for (int line = 0; line < 1500; ++line) longProgram += PlayLine(1000 + line, {"A&"});
    WriteFile(folder / "long.txt", longProgram + PlayLine(2500, {"V16A"}));
    WriteFile(folder / "huge.txt", "");
    std::filesystem::resize_file(folder / "huge.txt", 16 * 1024 * 1024 + 1);

    const ProcessResult clean = Varnolt(folder, {"check", "clean.txt"});
    EXPECT_EQ(clean.status, 0);
    EXPECT_EQ(clean.out, "");
    EXPECT_EQ(clean.err, "");

    // A FIFO is refused at once, not waited on.
    const ProcessResult run =
        Varnolt(folder, {"check", "high.txt", "clean.txt", "missing.txt", "fifo.txt", "long.txt", "huge.txt"});
    EXPECT_EQ(run.status, 1);
    EXPECT_EQ(run.out,
              "high.txt:4: line 1000: PLAY string 1: octave O9 at character 1 is out of range 1-8\n"
              "high.txt:5: no line number at the start of the line\n"
              "high.txt:6: line 1010: PLAY string 1: volume V16 at character 1 is out of range 0-15\n"
              "long.txt:1504: line 2500: PLAY string 1: volume V16 at character 1 is out of range 0-15\n");
    EXPECT_EQ(run.err,
              "missing.txt: cannot check: cannot open it: No such file or directory\n"
              "fifo.txt: cannot check: not a regular file\n"
              "huge.txt: cannot check: larger than 16 MiB, which no program text is\n");

    const std::vector<std::string> usageErrors[] = {{"check"}, {"check", "--all", "high.txt"}};
    for (const auto& arguments : usageErrors) {
        const ProcessResult usage = Varnolt(folder, arguments);
        EXPECT_EQ(usage.status, 2) << arguments.back();
        EXPECT_EQ(usage.out, "");
        EXPECT_NE(usage.err.find("usage: varnolt check FILE...\n"), std::string::npos) << usage.err;
    }
    const ProcessResult help = Varnolt(folder, {"check", "--help"});
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind("usage: varnolt check FILE...\n", 0), 0u);
    EXPECT_NE(Varnolt(folder, {"--help"}).out.find("\n       varnolt check FILE...\n"), std::string::npos);
}

TEST(VarnoltCheck, ConvertWarnsBeforeTheOutcomeAndKeepsItsStatus) {
    ScratchFolder folder;
    // 9000 Hz is octave 9 (note 109, C+), which PLAY refuses.
    const std::string high = AnalysisFileBuilder().Frames(12, 20000, 90000).Trailer(30).Bytes();
    WriteFile(folder / "high.dat", high);
    WriteFile(folder / "same.dat", high);
    WriteFile(folder / "tone.dat", AnalysisFileBuilder().Frames(12, 20000, 4400).Trailer(30).Bytes());
    const auto warnings = [](const std::string& prefix) {
        std::string lines;
        for (int string = 1; string <= 4; ++string) {
            lines += prefix + "warning: line 1000: PLAY string " + std::to_string(string) +
                     ": octave O9 at character 14 is out of range 1-8\n";
        }
        return lines;
    };

    const ProcessResult one = Varnolt(folder, {"convert", "high.dat"}, true);
    EXPECT_EQ(one.status, 0);
    EXPECT_EQ(one.out, warnings("") + "終了しました\n");
    // The program is the converter's, whatever the check found in it.
    varnolt::ConversionInputs inputs;
    inputs.pathText = folder / "same.dat";
    inputs.volumeText = "100";
    inputs.ch4Selected = true;
    varnolt::RunConversion(inputs, [](const std::string&, varnolt::MessageKind) {});
    EXPECT_EQ(ReadFile(folder / "high.txt"), ReadFile(folder / "same.txt"));
    EXPECT_NE(ReadFile(folder / "high.txt").find("\"@63T120L60V15O9C+&C+&"), std::string::npos);

    // Several files: each warning names its file, as the outcome lines do.
    const ProcessResult many = Varnolt(folder, {"convert", "tone.dat", "high.dat", "missing.dat"}, true);
    EXPECT_EQ(many.status, 1);
    EXPECT_EQ(many.out, "tone.dat: 終了しました\n" + warnings("high.dat: ") +
                            "high.dat: 終了しました\nmissing.dat: ファイルが見つかりません\n");

    const ProcessResult clean = Varnolt(folder, {"convert", "tone.dat"});
    EXPECT_EQ(clean.status, 0);
    EXPECT_EQ(clean.out, "終了しました\n");
    EXPECT_EQ(clean.err, "");
}

}  // namespace
