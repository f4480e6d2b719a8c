// The picture of one prepared conversion, as SVG: the partials of the analysis as faint
// dots and over them the notes each channel plays, on a time and note grid.
#pragma once

#include <string>
#include <string_view>

namespace varnolt::cli {

struct PlotCaption {
    std::string fileName;  // bytes as given: escaped, and made valid UTF-8, in the picture
    int frameCount = 0;
    int framesPerSecond = 30;
    int channelCount = 4;
};

// Reads LevelTable, FrequencyTable and NoteVolumeTable as PrepareNotes left them.
// Each run of frames a channel plays on one note (tied in the program) is one
// <rect class="note"> in that channel's <g class="channel" data-channel="K">, with
// data-note (the note number), data-first-frame and data-frames; rests draw nothing.
std::string BuildPlotSvg(const PlotCaption& caption);

// Text for XML content or a quoted attribute: markup characters escaped, and every byte
// that does not start a valid UTF-8 sequence of a character XML allows replaced by U+FFFD.
std::string XmlText(std::string_view bytes);

}  // namespace varnolt::cli
