#include "plotsvg.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <vector>

#include "driver.h"
#include "mmlwriter.h"
#include "quantise.h"
#include "worktables.h"

namespace varnolt::cli {

namespace {

// The picture has one fixed size; a viewer scales it through the viewBox.
constexpr double kWidth = 1200;
constexpr double kHeight = 660;
constexpr double kPlotLeft = 64;
constexpr double kPlotRight = kWidth - 20;
constexpr double kPlotTop = 72;
constexpr double kPlotBottom = kHeight - 56;

constexpr int kNotesPerOctave = 12;
constexpr int kLowestPlayableOctave = 1;  // O1 .. O8 is what MML offers
constexpr int kHighestPlayableOctave = 8;
constexpr int kHighestNoteByte = 255;
constexpr double kFullScaleLevel = 65535;

// Bright, and told apart by colour-blind eyes as well.
constexpr std::array<std::string_view, kNoteVolumeChannels> kChannelColours = {"#d55e00", "#0072b2", "#009e73",
                                                                               "#cc79a7", "#e69f00"};

// Dots are drawn in classes 9 dB apart, the loudest first in this table.
struct DotClass {
    double lowestDecibels;
    double diameter;
    double opacity;
};
constexpr std::array<DotClass, 5> kDotClasses = {
    {{-9, 5, 0.5}, {-18, 4.2, 0.42}, {-27, 3.5, 0.34}, {-36, 2.8, 0.27}, {-1e300, 2.2, 0.2}}};
// Partials closer than this on the page are one dot, the loudest of them: a long file
// has many frames to a pixel.
constexpr double kDotCellPixels = 2;
// A note of one frame in a long file would be a hair nobody sees.
constexpr double kThinnestNotePixels = 1;

void AppendNumber(std::string& out, double value, int decimals = 1) {
    char digits[32];
    const auto result = std::to_chars(digits, digits + sizeof digits, value, std::chars_format::fixed, decimals);
    out.append(digits, result.ptr);
}

void AppendInteger(std::string& out, long long value) {
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof digits, value);
    out.append(digits, result.ptr);
}

std::string Integer(long long value) {
    std::string text;
    AppendInteger(text, value);
    return text;
}

std::string Number(double value, int decimals) {
    std::string text;
    AppendNumber(text, value, decimals);
    return text;
}

// Length of the UTF-8 sequence at text[i] if it is one character XML allows, else 0.
std::size_t XmlCharacterLength(std::string_view text, std::size_t i) {
    const auto lead = static_cast<unsigned char>(text[i]);
    std::size_t length = 0;
    char32_t c = 0;
    if (lead < 0x80) {
        length = 1;
        c = lead;
    } else if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        c = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        c = lead & 0x0F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        c = lead & 0x07;
    } else {
        return 0;
    }
    if (i + length > text.size()) return 0;
    for (std::size_t k = 1; k < length; ++k) {
        const auto next = static_cast<unsigned char>(text[i + k]);
        if ((next & 0xC0) != 0x80) return 0;
        c = c << 6 | (next & 0x3F);
    }
    const bool shortestForm = length < 3 || (length == 3 ? c >= 0x800 : c >= 0x10000);
    const bool allowed = c == 0x9 || c == 0xA || c == 0xD || (c >= 0x20 && c <= 0xD7FF) ||
                         (c >= 0xE000 && c <= 0xFFFD) || (c >= 0x10000 && c <= 0x10FFFF);
    return shortestForm && allowed ? length : 0;
}

std::string OctaveName(int octave) { return "O" + Integer(octave); }

bool IsPlayableOctave(int octave) { return octave >= kLowestPlayableOctave && octave <= kHighestPlayableOctave; }

std::string NoteName(int note) {
    return OctaveName(note / kNotesPerOctave) + " " + std::string(kNoteNames[note % kNotesPerOctave]);
}

struct Axes {
    int lowestOctave;   // the bottom band
    int octaveCount;
    int frameCount;     // at least 1, so that an empty file still has a time axis
    int framesPerSecond;

    double X(double frame) const { return kPlotLeft + frame * (kPlotRight - kPlotLeft) / frameCount; }
    // Note n is drawn centred on Y(n); octave o spans notes 12o - 0.5 .. 12o + 11.5.
    double Y(double note) const {
        const double lowest = lowestOctave * kNotesPerOctave - 0.5;
        return kPlotBottom - (note - lowest) * SemitonePixels();
    }
    double SemitonePixels() const { return (kPlotBottom - kPlotTop) / (octaveCount * kNotesPerOctave); }
    double FramePixels() const { return (kPlotRight - kPlotLeft) / frameCount; }
    bool ShowsUnplayableOctaves() const {
        return !IsPlayableOctave(lowestOctave) || !IsPlayableOctave(lowestOctave + octaveCount - 1);
    }
};

const std::uint8_t* NoteVolumeAt(int frame, int channel) {
    return &NoteVolumeTable[static_cast<std::size_t>(frame) * kNoteVolumeFrameBytes + channel * 2];
}

// Where a partial is drawn as a dot: it could sound at the loudest volume setting, and its
// pitch lies where a note byte can reach. Its position in semitones, or NaN.
double DotSemitones(int frame, int partial) {
    const std::size_t index = static_cast<std::size_t>(frame) * kTablePartials + partial;
    const double frequency = FrequencyTable[index];
    const double level = LevelTable[index];
    if (!(frequency > 0) || QuantiseChannel(frequency, level, kHighestVolume).volume == 0) return NAN;
    const double semitones = SemitonesOf(frequency);
    return semitones < kHighestNoteByte + 0.5 ? semitones : NAN;
}

// The octaves that hold every note played and every dot, at least two of them.
Axes FitAxes(const PlotCaption& caption) {
    int lowest = kHighestNoteByte;
    int highest = 0;
    for (int f = 0; f < caption.frameCount; ++f) {
        for (int k = 0; k < caption.channelCount; ++k) {
            const std::uint8_t* pair = NoteVolumeAt(f, k);
            if (pair[1] == 0) continue;
            lowest = std::min<int>(lowest, pair[0]);
            highest = std::max<int>(highest, pair[0]);
        }
        for (int p = 0; p < kTablePartials; ++p) {
            const double semitones = DotSemitones(f, p);
            if (std::isnan(semitones)) continue;
            const int note = static_cast<int>(std::lround(semitones));
            lowest = std::min(lowest, note);
            highest = std::max(highest, note);
        }
    }
    Axes axes{kLowestPlayableOctave, kHighestPlayableOctave - kLowestPlayableOctave + 1,
              std::max(caption.frameCount, 1), caption.framesPerSecond};
    if (lowest <= highest) {
        axes.lowestOctave = lowest / kNotesPerOctave;
        axes.octaveCount = std::max(highest / kNotesPerOctave - axes.lowestOctave + 1, 2);
    }
    return axes;
}

// A round step that puts at most a dozen ticks on the time axis.
double TimeStep(double seconds) {
    constexpr std::array<double, 14> kSteps = {0.1, 0.2, 0.5, 1, 2, 5, 10, 15, 30, 60, 120, 300, 600, 1200};
    for (const double step : kSteps) {
        if (seconds / step <= 12) return step;
    }
    return kSteps.back();
}

void AppendText(std::string& out, double x, double y, std::string_view attributes, std::string_view text) {
    out += "<text x=\"";
    AppendNumber(out, x);
    out += "\" y=\"";
    AppendNumber(out, y);
    out += '"';
    if (!attributes.empty()) {
        out += ' ';
        out += attributes;
    }
    out += '>';
    out += text;
    out += "</text>\n";
}

void AppendRect(std::string& out, double x, double y, double width, double height, std::string_view attributes) {
    out += "<rect x=\"";
    AppendNumber(out, x);
    out += "\" y=\"";
    AppendNumber(out, y);
    out += "\" width=\"";
    AppendNumber(out, width, 2);
    out += "\" height=\"";
    AppendNumber(out, height);
    out += "\" ";
    out += attributes;
    out += "/>\n";
}

void AppendLine(std::string& out, double x1, double y1, double x2, double y2, std::string_view attributes) {
    out += "<line x1=\"";
    AppendNumber(out, x1);
    out += "\" y1=\"";
    AppendNumber(out, y1);
    out += "\" x2=\"";
    AppendNumber(out, x2);
    out += "\" y2=\"";
    AppendNumber(out, y2);
    out += "\" ";
    out += attributes;
    out += "/>\n";
}

void AppendHeader(std::string& out, const PlotCaption& caption, const Axes& axes) {
    const double seconds = static_cast<double>(caption.frameCount) / caption.framesPerSecond;
    const std::string title = XmlText(caption.fileName) + " · " + Integer(caption.frameCount) + " frames of 1/" +
                              Integer(caption.framesPerSecond) + " s (" + Number(seconds, 1) + " s) · " +
                              Integer(caption.channelCount) + " channels";
    out += "<title>";
    out += title;
    out += "</title>\n";
    AppendText(out, kPlotLeft, 26, "font-size=\"17\" font-weight=\"bold\"", title);
    AppendText(out, kPlotRight, 26, "text-anchor=\"end\" fill=\"#555\"",
               "bars: the notes the program plays, a tie as one bar · gaps: rests");

    // Legend: the channels, the dots, the octaves MML cannot play.
    double x = kPlotLeft;
    constexpr double kLegendY = 52;
    for (int k = 0; k < caption.channelCount; ++k) {
        AppendRect(out, x, kLegendY - 10, 22, 10,
                   "fill=\"" + std::string(kChannelColours[k]) + "\"");
        AppendText(out, x + 28, kLegendY, {}, "channel " + Integer(k + 1));
        x += 104;
    }
    x += 12;
    for (std::size_t c = 0; c < kDotClasses.size(); ++c) {
        out += "<path d=\"M";
        AppendNumber(out, x + 4 + 8 * static_cast<double>(kDotClasses.size() - 1 - c));
        out += ' ';
        AppendNumber(out, kLegendY - 5);
        out += "h0\" stroke=\"#000\" stroke-linecap=\"round\" stroke-width=\"";
        AppendNumber(out, kDotClasses[c].diameter);
        out += "\" stroke-opacity=\"";
        AppendNumber(out, kDotClasses[c].opacity, 2);
        out += "\"/>\n";
    }
    AppendText(out, x + 46, kLegendY, {}, "the analysis' eight partials (larger, darker: louder)");
    if (axes.ShowsUnplayableOctaves()) {
        x += 420;
        AppendRect(out, x, kLegendY - 11, 22, 12, "fill=\"url(#unplayable)\" stroke=\"#bbb\"");
        AppendText(out, x + 28, kLegendY, {}, "beyond O1–O8");
    }
}

void AppendPitchGrid(std::string& out, const Axes& axes) {
    const double semitone = axes.SemitonePixels();
    for (int i = 0; i < axes.octaveCount; ++i) {
        const int octave = axes.lowestOctave + i;
        const double bottom = axes.Y(octave * kNotesPerOctave - 0.5);
        const double top = axes.Y(octave * kNotesPerOctave + 11.5);
        const std::string_view fill =
            !IsPlayableOctave(octave) ? "url(#unplayable)" : (octave % 2 == 0 ? "#f3f3f3" : "#fbfbfb");
        AppendRect(out, kPlotLeft, top, kPlotRight - kPlotLeft, bottom - top, "fill=\"" + std::string(fill) + "\"");
        // Semitone lines only where they stand apart.
        if (semitone >= 4) {
            for (int n = 1; n < kNotesPerOctave; ++n) {
                const double y = axes.Y(octave * kNotesPerOctave + n - 0.5);
                AppendLine(out, kPlotLeft, y, kPlotRight, y, "stroke=\"#e4e4e4\" stroke-width=\"0.6\"");
            }
        }
        AppendText(out, kPlotLeft - 8, (top + bottom) / 2 + 5, "text-anchor=\"end\" font-size=\"14\"",
                   OctaveName(octave));
    }
    for (int i = 0; i <= axes.octaveCount; ++i) {
        const double y = axes.Y((axes.lowestOctave + i) * kNotesPerOctave - 0.5);
        AppendLine(out, kPlotLeft, y, kPlotRight, y, "stroke=\"#9a9a9a\" stroke-width=\"1\"");
    }
    out += "<text transform=\"translate(16 ";
    AppendNumber(out, (kPlotTop + kPlotBottom) / 2);
    out += ") rotate(-90)\" text-anchor=\"middle\" fill=\"#555\">octave (O4 A = 440 Hz)</text>\n";
}

void AppendTimeAxis(std::string& out, const Axes& axes) {
    const double seconds = static_cast<double>(axes.frameCount) / axes.framesPerSecond;
    const double step = TimeStep(seconds);
    const int decimals = step < 1 ? 1 : 0;
    for (int i = 0; i * step <= seconds + 1e-9; ++i) {
        const double x = axes.X(i * step * axes.framesPerSecond);
        AppendLine(out, x, kPlotTop, x, kPlotBottom + 5, "stroke=\"#000\" stroke-opacity=\"0.12\"");
        AppendText(out, x, kPlotBottom + 20, "text-anchor=\"middle\"", Number(i * step, decimals));
    }
    AppendText(out, (kPlotLeft + kPlotRight) / 2, kPlotBottom + 42, "text-anchor=\"middle\" fill=\"#555\"",
               "time (s)");
}

// Every partial that could sound, as one dot per cell of the page: one path per loudness
// class, each dot a round cap on an empty segment, a dozen bytes a dot.
void AppendDots(std::string& out, const Axes& axes) {
    const int framesPerColumn = std::max(1, static_cast<int>(std::ceil(kDotCellPixels / axes.FramePixels())));
    // Dots shrink where frames lie close, or they would merge into a grey wall.
    const double dotScale = std::clamp(axes.FramePixels() / 4, 0.5, 1.0);
    const int rowCount = static_cast<int>((kPlotBottom - kPlotTop) / kDotCellPixels) + 1;
    struct Dot {
        double level = -1;
        double y = 0;
    };
    std::vector<Dot> cells(static_cast<std::size_t>(rowCount));
    std::vector<int> touched;
    std::array<std::string, kDotClasses.size()> paths;

    for (int first = 0; first < axes.frameCount; first += framesPerColumn) {
        const int last = std::min(first + framesPerColumn, axes.frameCount);
        for (int f = first; f < last; ++f) {
            for (int p = 0; p < kTablePartials; ++p) {
                const double semitones = DotSemitones(f, p);
                if (std::isnan(semitones)) continue;
                const double y = axes.Y(semitones);
                const int row = std::clamp(static_cast<int>((y - kPlotTop) / kDotCellPixels), 0, rowCount - 1);
                const double level = LevelTable[static_cast<std::size_t>(f) * kTablePartials + p];
                if (cells[row].level < 0) touched.push_back(row);
                if (level > cells[row].level) cells[row] = {level, y};
            }
        }
        const double x = axes.X((first + last) / 2.0);
        for (const int row : touched) {
            const double decibels = 20 * std::log10(cells[row].level / kFullScaleLevel);
            std::size_t c = 0;
            while (decibels < kDotClasses[c].lowestDecibels) ++c;
            std::string& path = paths[c];
            path += 'M';
            AppendNumber(path, x);
            path += ' ';
            AppendNumber(path, cells[row].y);
            path += "h0";
            cells[row] = Dot{};
        }
        touched.clear();
    }
    // The faintest first, so that louder dots lie on top.
    for (std::size_t c = kDotClasses.size(); c-- > 0;) {
        if (paths[c].empty()) continue;
        out += "<path class=\"partials\" fill=\"none\" stroke=\"#000\" stroke-linecap=\"round\" stroke-width=\"";
        AppendNumber(out, kDotClasses[c].diameter * dotScale, 2);
        out += "\" stroke-opacity=\"";
        AppendNumber(out, kDotClasses[c].opacity, 2);
        out += "\" d=\"";
        out += paths[c];
        out += "\"/>\n";
    }
}

// One bar per tied note: consecutive frames of one note with a volume above 0.
void AppendNotes(std::string& out, const Axes& axes, const PlotCaption& caption) {
    const double barHeight = std::max(1.5, 0.7 * axes.SemitonePixels());
    const double secondsPerFrame = 1.0 / caption.framesPerSecond;
    for (int k = 0; k < caption.channelCount; ++k) {
        out += "<g class=\"channel\" data-channel=\"";
        AppendInteger(out, k + 1);
        out += "\" fill=\"";
        out += kChannelColours[k];
        out += "\" fill-opacity=\"0.85\">\n";
        int f = 0;
        while (f < caption.frameCount) {
            const std::uint8_t* start = NoteVolumeAt(f, k);
            if (start[1] == 0) {
                ++f;
                continue;
            }
            const int note = start[0];
            int quietest = start[1];
            int loudest = start[1];
            int end = f + 1;
            for (; end < caption.frameCount; ++end) {
                const std::uint8_t* pair = NoteVolumeAt(end, k);
                if (pair[1] == 0 || pair[0] != note) break;
                quietest = std::min<int>(quietest, pair[1]);
                loudest = std::max<int>(loudest, pair[1]);
            }
            out += "<rect class=\"note\" x=\"";
            AppendNumber(out, axes.X(f), 2);
            out += "\" y=\"";
            AppendNumber(out, axes.Y(note) - barHeight / 2);
            out += "\" width=\"";
            AppendNumber(out, std::max(axes.X(end) - axes.X(f), kThinnestNotePixels), 2);
            out += "\" height=\"";
            AppendNumber(out, barHeight);
            out += "\" data-note=\"";
            AppendInteger(out, note);
            out += "\" data-first-frame=\"";
            AppendInteger(out, f);
            out += "\" data-frames=\"";
            AppendInteger(out, end - f);
            out += "\"><title>channel ";
            AppendInteger(out, k + 1);
            out += ": ";
            out += NoteName(note);
            out += ", frames ";
            AppendInteger(out, f);
            if (end - f > 1) {
                out += "–";
                AppendInteger(out, end - 1);
            }
            out += " (";
            AppendNumber(out, f * secondsPerFrame, 2);
            out += "–";
            AppendNumber(out, end * secondsPerFrame, 2);
            out += " s), V";
            AppendInteger(out, quietest);
            if (loudest != quietest) {
                out += "–";
                AppendInteger(out, loudest);
            }
            out += "</title></rect>\n";
            f = end;
        }
        out += "</g>\n";
    }
}

}  // namespace

std::string XmlText(std::string_view bytes) {
    std::string text;
    text.reserve(bytes.size());
    for (std::size_t i = 0; i < bytes.size();) {
        const std::size_t length = XmlCharacterLength(bytes, i);
        if (length == 0) {
            text += "\xEF\xBF\xBD";  // U+FFFD
            ++i;
            continue;
        }
        switch (bytes[i]) {
            case '&': text += "&amp;"; break;
            case '<': text += "&lt;"; break;
            case '>': text += "&gt;"; break;
            case '"': text += "&quot;"; break;
            case '\'': text += "&apos;"; break;
            default: text.append(bytes.substr(i, length));
        }
        i += length;
    }
    return text;
}

std::string BuildPlotSvg(const PlotCaption& caption) {
    const Axes axes = FitAxes(caption);
    std::string out;
    out += "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<svg xmlns=\"http://www.w3.org/2000/svg\" width=\"";
    AppendInteger(out, static_cast<long long>(kWidth));
    out += "\" height=\"";
    AppendInteger(out, static_cast<long long>(kHeight));
    out += "\" viewBox=\"0 0 ";
    AppendInteger(out, static_cast<long long>(kWidth));
    out += ' ';
    AppendInteger(out, static_cast<long long>(kHeight));
    out += "\" font-family=\"sans-serif\" font-size=\"13\">\n"
           "<defs><pattern id=\"unplayable\" width=\"6\" height=\"6\" patternUnits=\"userSpaceOnUse\" "
           "patternTransform=\"rotate(45)\"><rect width=\"6\" height=\"6\" fill=\"#f6f6f6\"/>"
           "<line x1=\"0\" y1=\"0\" x2=\"0\" y2=\"6\" stroke=\"#d8d8d8\" stroke-width=\"2\"/></pattern></defs>\n"
           "<rect width=\"100%\" height=\"100%\" fill=\"#fff\"/>\n";
    AppendHeader(out, caption, axes);
    AppendPitchGrid(out, axes);
    AppendTimeAxis(out, axes);
    AppendDots(out, axes);
    AppendNotes(out, axes, caption);
    AppendRect(out, kPlotLeft, kPlotTop, kPlotRight - kPlotLeft, kPlotBottom - kPlotTop,
               "fill=\"none\" stroke=\"#666\"");
    out += "</svg>\n";
    return out;
}

}  // namespace varnolt::cli
