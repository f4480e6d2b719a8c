#include "converterapp.h"

#include <csignal>

#include "appicon.h"
#include "converterdlg.h"

namespace varnolt::app {

CConverterApp::CConverterApp(int& argc, char** argv) : QApplication(argc, argv) {
    // A file-size limit must fail the write (and keep the old output), not kill us.
    std::signal(SIGXFSZ, SIG_IGN);
    setApplicationName(QStringLiteral("Varnolt"));
    // The settings root; nothing is read or written under it.
    setOrganizationName(QStringLiteral("アプリケーション ウィザードで生成されたローカル アプリケーション"));
    setWindowIcon(MakeApplicationIcon());
}

int CConverterApp::InitInstance() {
    CConverterDlg dialog;
    dialog.exec();  // OK or Cancel: either ends the program
    return 0;
}

}  // namespace varnolt::app
