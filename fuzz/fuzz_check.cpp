// `varnolt check` over arbitrary program texts: the input is the text. Read whole or in
// pieces it must give the same findings, each on a line the text has, with a message a
// terminal can show as it is. What the check lets through, the preview reads; what it
// then plays (a minute at most, to keep each run short) is finite and within full scale.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include <cmath>

#include "fmvoice.h"
#include "fuzzsupport.h"
#include "programcheck.h"
#include "programscore.h"

namespace {

using fuzzsupport::Require;
using varnolt::cli::ProgramFinding;

bool SameFindings(const std::vector<ProgramFinding>& a, const std::vector<ProgramFinding>& b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const ProgramFinding& x, const ProgramFinding& y) {
        return x.physicalLine == y.physicalLine && x.lineNumber == y.lineNumber && x.message == y.message;
    });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text(reinterpret_cast<const char*>(data), size);
    const std::vector<ProgramFinding> findings = varnolt::cli::CheckProgramText(text);

    // Pieces of 1 to 16 bytes, the size taken from the text so that every size is reached.
    const std::size_t pieceSize = 1 + size % 16;
    varnolt::cli::ProgramTextChecker checker;
    for (std::size_t i = 0; i < size; i += pieceSize) checker.Add(text.substr(i, pieceSize));
    Require(SameFindings(checker.Finish(), findings), "findings differ when the text comes in pieces");

    const int lineCount = static_cast<int>(std::count(text.begin(), text.end(), '\n')) + 1;
    int previousLine = 1;
    for (const ProgramFinding& finding : findings) {
        const std::string shown = varnolt::cli::FindingText(finding);
        Require(finding.physicalLine >= previousLine && finding.physicalLine <= lineCount,
                "finding out of order or on no line of the text", shown);
        previousLine = finding.physicalLine;
        Require(finding.lineNumber >= -1 && finding.lineNumber <= 65529, "line number out of range", shown);
        Require(!finding.message.empty(), "empty message");
        Require(std::all_of(shown.begin(), shown.end(), [](char c) { return c >= 0x20 && c <= 0x7e; }),
                "message with a byte a terminal would not show as it is", shown);
    }

    if (!std::all_of(findings.begin(), findings.end(), [](const ProgramFinding& f) { return f.lineTooLong; })) return 0;
    const varnolt::cli::ProgramScore score = varnolt::cli::ScoreOfProgram(text, 3600);
    if (!score.problems.empty()) return 0;
    for (const double sample : varnolt::audio::RenderScore(score.channels, 8000)) {
        Require(std::isfinite(sample) && std::abs(sample) <= 1 + 1e-9, "a preview sample beyond full scale");
    }
    return 0;
}
