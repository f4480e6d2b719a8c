#pragma once

#include <QIcon>

namespace varnolt::app {

// IDR_MAINFRAME: a note over a rising row of FM-style bars, drawn at 16, 32 and 48 pixels.
QIcon MakeApplicationIcon();

}  // namespace varnolt::app
