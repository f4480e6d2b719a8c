// The application object: shows the main dialog and ends when it ends.
#pragma once

#include <QApplication>

namespace varnolt::app {

class CConverterApp : public QApplication {
    Q_OBJECT

public:
    CConverterApp(int& argc, char** argv);

    // Runs the dialog modally; however it ends, the program ends with it.
    int InitInstance();
};

}  // namespace varnolt::app
