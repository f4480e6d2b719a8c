// The dialog driven through real widgets and real message boxes (offscreen in CI).
#include <sys/resource.h>

#include <QButtonGroup>
#include <QComboBox>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QTimer>
#include <QtTest>
#include <csignal>
#include <filesystem>

#include "converterapp.h"
#include "converterdlg.h"
#include "fixtures.h"

using varnolt::app::CConverterApp;
using varnolt::app::CConverterDlg;
using varnolt::testing::AnalysisFileBuilder;
using varnolt::testing::ScratchFolder;
using varnolt::testing::WriteFile;

namespace {

struct SeenBox {
    QString title;
    QString text;
    QMessageBox::Icon icon;
    QList<QAbstractButton*>::size_type buttonCount;
};

// Answers every message box that opens while it lives with OK, noting what it showed.
class MessageBoxAnswerer {
public:
    MessageBoxAnswerer() {
        QObject::connect(&timer_, &QTimer::timeout, [this] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (box == nullptr || !box->isVisible()) return;
            seen.push_back({box->windowTitle(), box->text(), box->icon(), box->buttons().size()});
            box->button(QMessageBox::Ok)->click();
        });
        timer_.start(5);
    }
    std::vector<SeenBox> seen;

private:
    QTimer timer_;
};

template <typename Widget>
Widget* Control(const CConverterDlg& dialog, const char* name) {
    auto* widget = dialog.findChild<Widget*>(QString::fromLatin1(name));
    if (widget == nullptr) qFatal("no control %s", name);
    return widget;
}

}  // namespace

class ConverterDlgTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<CConverterDlg> dialog_;

    void Show() {
        dialog_ = std::make_unique<CConverterDlg>();
        dialog_->show();
        QApplication::setActiveWindow(dialog_.get());
        QVERIFY(QTest::qWaitForWindowActive(dialog_.get()));
    }
    QWidget* Focus() const { return QApplication::focusWidget(); }
    void SetPath(const std::string& path) { Control<QLineEdit>(*dialog_, "IDC_DAT_PATH")->setText(QString::fromStdString(path)); }
    void ClickConvert() { QTest::mouseClick(Control<QPushButton>(*dialog_, "IDC_CONVERT"), Qt::LeftButton); }

private slots:
    void init() { Show(); }
    void cleanup() { dialog_.reset(); }

    void startsWithTheDefaults() {
        QCOMPARE(dialog_->windowTitle(), QStringLiteral("Varnolt"));
        QCOMPARE(Control<QLineEdit>(*dialog_, "IDC_DAT_PATH")->text(), QString());
        QCOMPARE(Focus(), Control<QLineEdit>(*dialog_, "IDC_DAT_PATH"));
        QCOMPARE(Control<QLineEdit>(*dialog_, "IDC_VOLUME")->text(), QStringLiteral("100"));
        const varnolt::ConversionInputs inputs = dialog_->conversionInputs();
        QVERIFY(!inputs.unit15Selected && !inputs.unit20Selected && inputs.unit30Selected && !inputs.unit60Selected);
        QVERIFY(inputs.ch4Selected && !inputs.ch5Selected);
        QVERIFY(!Control<QRadioButton>(*dialog_, "IDC_CH3")->isChecked());
        QCOMPARE(dialog_->pos(), QPoint(0, 0));
        QCOMPARE(dialog_->minimumSize(), dialog_->maximumSize());
        const Qt::WindowFlags flags = dialog_->windowFlags();
        QVERIFY(!(flags & Qt::WindowMinimizeButtonHint) && !(flags & Qt::WindowMaximizeButtonHint));
        QVERIFY(flags & Qt::WindowCloseButtonHint);
        for (const int size : {16, 32, 48}) QVERIFY(dialog_->windowIcon().availableSizes().contains(QSize(size, size)));
        for (QPushButton* button : dialog_->findChildren<QPushButton*>()) QVERIFY(!button->isDefault());
    }

    void hasEveryControlWithItsTextAndPlace() {
        struct Expected {
            const char* name;
            const char* kind;
            QString text;
            QRect dialogUnits;
        } controls[] = {
            {"IDC_DAT_PATH", "QLineEdit", "", {20, 25, 180, 20}},
            {"IDC_BROWSE", "QPushButton", "参照", {220, 25, 40, 20}},
            {"IDC_STATIC_DAT", "QLabel", "DATファイル", {20, 15, 65, 8}},
            {"IDC_CONVERT", "QPushButton", "変換", {20, 100, 40, 35}},
            {"IDC_EXIT", "QPushButton", "終了", {220, 100, 40, 35}},
            {"IDC_VOLUME", "QLineEdit", "100", {20, 65, 40, 20}},
            {"IDC_STATIC_VOLUME", "QLabel", "音量(%)", {20, 55, 40, 8}},
            {"IDC_STATIC_UNIT", "QGroupBox", "発音単位", {80, 70, 48, 68}},
            {"IDC_UNIT_15", "QRadioButton", "1/15秒", {85, 81, 35, 10}},
            {"IDC_UNIT_20", "QRadioButton", "1/20秒", {85, 95, 35, 10}},
            {"IDC_UNIT_30", "QRadioButton", "1/30秒", {85, 109, 35, 10}},
            {"IDC_UNIT_60", "QRadioButton", "1/60秒", {85, 123, 35, 10}},
            {"IDC_STATIC_CHANNELS", "QGroupBox", "発音数", {150, 70, 48, 68}},
            {"IDC_CH3", "QRadioButton", "３ch", {160, 85, 30, 10}},
            {"IDC_CH4", "QRadioButton", "４ch", {160, 101, 30, 10}},
            {"IDC_CH5", "QRadioButton", "５ch", {160, 117, 30, 10}},
        };
        // Base units from the dialog font, as the classic dialog manager takes them.
        const QFontMetrics metrics(dialog_->font());
        const int baseX = (metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz")) / 26 + 1) / 2;
        const int baseY = metrics.height();
        QCOMPARE(dialog_->size(), QSize((281 * baseX + 2) / 4, (160 * baseY + 4) / 8));
        QCOMPARE(dialog_->font().pointSize(), 9);
        QCOMPARE(dialog_->font().families().first(), QStringLiteral("MS UI Gothic"));

        for (const Expected& control : controls) {
            QWidget* widget = Control<QWidget>(*dialog_, control.name);
            QCOMPARE(QString::fromLatin1(widget->metaObject()->className()), QString::fromLatin1(control.kind));
            QString text;
            if (auto* edit = qobject_cast<QLineEdit*>(widget)) text = edit->text();
            if (auto* button = qobject_cast<QAbstractButton*>(widget)) text = button->text();
            if (auto* label = qobject_cast<QLabel*>(widget)) text = label->text();
            if (auto* box = qobject_cast<QGroupBox*>(widget)) text = box->title();
            QCOMPARE(text, control.text);
            const QRect expected = dialog_->dialogUnitsToPixels(control.dialogUnits);
            QCOMPARE(widget->pos(), expected.topLeft());
            QCOMPARE(widget->height(), expected.height());
            // Text controls may grow to the right so as not to clip; nothing else does.
            QVERIFY(widget->width() >= expected.width());
            if (!qobject_cast<QLabel*>(widget) && !qobject_cast<QRadioButton*>(widget)) {
                QCOMPARE(widget->width(), expected.width());
            }
            QVERIFY(dialog_->rect().contains(widget->geometry()));
        }
        QCOMPARE(dialog_->dialogUnitsToPixels(QRect(20, 25, 180, 20)),
                 QRect((20 * baseX + 2) / 4, (25 * baseY + 4) / 8, (180 * baseX + 2) / 4, (20 * baseY + 4) / 8));
    }

    void tabVisitsTheFiveTabStopsInTurn() {
        const char* cycle[] = {"IDC_BROWSE", "IDC_CONVERT", "IDC_EXIT", "IDC_VOLUME", "IDC_DAT_PATH", "IDC_BROWSE"};
        for (const char* name : cycle) {
            QTest::keyClick(Focus(), Qt::Key_Tab);
            QCOMPARE(Focus()->objectName(), QString::fromLatin1(name));
        }
        QTest::keyClick(Focus(), Qt::Key_Backtab);
        QCOMPARE(Focus()->objectName(), QStringLiteral("IDC_DAT_PATH"));
        for (QRadioButton* radio : dialog_->findChildren<QRadioButton*>()) QVERIFY(!(radio->focusPolicy() & Qt::TabFocus));
    }

    void eachRadioGroupKeepsExactlyOneSelected() {
        auto* ch4 = Control<QRadioButton>(*dialog_, "IDC_CH4");
        auto* ch5 = Control<QRadioButton>(*dialog_, "IDC_CH5");
        auto* unit30 = Control<QRadioButton>(*dialog_, "IDC_UNIT_30");
        auto* unit60 = Control<QRadioButton>(*dialog_, "IDC_UNIT_60");
        QTest::mouseClick(ch5, Qt::LeftButton);
        QVERIFY(ch5->isChecked() && !ch4->isChecked());
        QVERIFY(unit30->isChecked());  // the other group is not touched
        QTest::mouseClick(unit30, Qt::LeftButton);
        QTest::mouseClick(unit30, Qt::LeftButton);
        QVERIFY(unit30->isChecked());
        // Arrow keys move within the group and select as they go.
        QCOMPARE(Focus(), unit30);
        QTest::keyClick(unit30, Qt::Key_Down);
        QCOMPARE(Focus(), unit60);
        QVERIFY(unit60->isChecked() && !unit30->isChecked());
        QVERIFY(ch5->isChecked());
        const varnolt::ConversionInputs inputs = dialog_->conversionInputs();
        QVERIFY(inputs.unit60Selected && !inputs.unit30Selected && inputs.ch5Selected && !inputs.ch4Selected);
    }

    void enterEscapeExitAndCloseEndTheDialog() {
        QTest::keyClick(Control<QLineEdit>(*dialog_, "IDC_VOLUME"), Qt::Key_Return);
        QCOMPARE(dialog_->result(), int(QDialog::Accepted));
        QVERIFY(!dialog_->isVisible());

        Show();
        QTest::keyClick(Control<QLineEdit>(*dialog_, "IDC_DAT_PATH"), Qt::Key_Escape);
        QCOMPARE(dialog_->result(), int(QDialog::Rejected));
        QVERIFY(!dialog_->isVisible());

        Show();
        QTest::mouseClick(Control<QPushButton>(*dialog_, "IDC_EXIT"), Qt::LeftButton);
        QCOMPARE(dialog_->result(), int(QDialog::Accepted));

        Show();
        dialog_->close();
        QCOMPARE(dialog_->result(), int(QDialog::Rejected));
    }

    void enterOnAButtonClicksIt() {
        auto* convert = Control<QPushButton>(*dialog_, "IDC_CONVERT");
        convert->setFocus();
        MessageBoxAnswerer answerer;
        QTest::keyClick(convert, Qt::Key_Return);
        QTRY_COMPARE(answerer.seen.size(), size_t(1));
        QCOMPARE(answerer.seen[0].text, QStringLiteral("ＤＡＴファイルを指定して下さい"));
        QVERIFY(dialog_->isVisible());
        QCOMPARE(dialog_->result(), 0);
    }

    void browseReplacesThePathOnlyWhenConfirmed() {
        auto* path = Control<QLineEdit>(*dialog_, "IDC_DAT_PATH");
        path->setText(QStringLiteral("typed.dat"));
        dialog_->setFileChooser([](QWidget*) { return std::optional<QString>(); });
        QTest::mouseClick(Control<QPushButton>(*dialog_, "IDC_BROWSE"), Qt::LeftButton);
        QCOMPARE(path->text(), QStringLiteral("typed.dat"));
        QWidget* seenParent = nullptr;
        dialog_->setFileChooser([&](QWidget* parent) {
            seenParent = parent;
            return std::optional<QString>(QStringLiteral("/home/u/声/voice.dat"));
        });
        QTest::mouseClick(Control<QPushButton>(*dialog_, "IDC_BROWSE"), Qt::LeftButton);
        QCOMPARE(path->text(), QStringLiteral("/home/u/声/voice.dat"));
        QCOMPARE(seenParent, dialog_.get());
        QCOMPARE(dialog_->conversionInputs().pathText, std::string("/home/u/声/voice.dat"));
    }

    void theFileChooserOffersDatFiles() {
        ScratchFolder folder;
        WriteFile(folder / "voice.dat", "");
        // Confirm a file in the real chooser, then cancel it.
        for (const bool confirm : {true, false}) {
            QStringList filters;     // as the user sees them
            QStringList filtersSet;  // as the chooser applies them
            QString suffix;
            bool detailsHidden = false;
            // The chooser takes a moment to come up: look for it until it is there.
            QTimer poll;
            QObject::connect(&poll, &QTimer::timeout, [&] {
                auto* chooser = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
                if (chooser == nullptr || !chooser->isVisible()) return;
                poll.stop();
                for (QComboBox* types : chooser->findChildren<QComboBox*>(QStringLiteral("fileTypeCombo"))) {
                    for (int i = 0; i < types->count(); ++i) filters << types->itemText(i);
                }
                filtersSet = chooser->nameFilters();
                suffix = chooser->defaultSuffix();
                detailsHidden = chooser->testOption(QFileDialog::HideNameFilterDetails);
                if (confirm) {
                    chooser->selectFile(QString::fromStdString(folder / "voice.dat"));
                    QMetaObject::invokeMethod(chooser, "accept");
                } else {
                    chooser->reject();
                }
            });
            poll.start(10);
            const std::optional<QString> chosen = varnolt::app::ChooseAnalysisFile(dialog_.get());
            QCOMPARE(filters, QStringList{QStringLiteral("DAT File  （ *.dat ）")});
            QVERIFY(detailsHidden);
            QCOMPARE(filtersSet.size(), 1);
            QVERIFY(filtersSet[0].endsWith(QStringLiteral("(*.dat)")));
            QCOMPARE(suffix, QStringLiteral("dat"));
            QCOMPARE(chosen.has_value(), confirm);
            if (confirm) QCOMPARE(*chosen, QString::fromStdString(folder / "voice.dat"));
        }
    }

    void convertShowsTheEngineMessage_data() {
        QTest::addColumn<QString>("file");    // written into the folder when not empty
        QTest::addColumn<QString>("path");    // typed, relative to the folder
        QTest::addColumn<QString>("volume");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("icon");
        QTest::addColumn<bool>("written");
        const int none = QMessageBox::NoIcon;
        const int warning = QMessageBox::Warning;
        QTest::newRow("success") << "x.dat" << "x.dat" << "150" << "終了しました" << none << true;
        QTest::newRow("volume") << "x.dat" << "x.dat" << "201" << "音量(%)を20-200までに指定して下さい" << warning << false;
        QTest::newRow("full-width volume") << "x.dat" << "x.dat" << "１００" << "音量(%)を20-200までに指定して下さい" << warning << false;
        QTest::newRow("name") << "x.dat" << "x.wav" << "100" << "ＤＡＴファイルを指定して下さい" << warning << false;
        QTest::newRow("missing") << "" << "x.dat" << "100" << "ファイルが見つかりません" << none << false;
    }

    void convertShowsTheEngineMessage() {
        QFETCH(QString, file);
        QFETCH(QString, path);
        QFETCH(QString, volume);
        QFETCH(QString, message);
        QFETCH(int, icon);
        QFETCH(bool, written);
        ScratchFolder folder;
        if (!file.isEmpty()) WriteFile(folder / file.toStdString(), AnalysisFileBuilder().Frames(8, 5000, 4400).Trailer(30).Bytes());
        const QString typedPath = QString::fromStdString(folder / path.toStdString());
        SetPath(typedPath.toStdString());
        Control<QLineEdit>(*dialog_, "IDC_VOLUME")->setText(volume);

        MessageBoxAnswerer answerer;
        ClickConvert();
        QTRY_COMPARE(answerer.seen.size(), size_t(1));
        QCOMPARE(answerer.seen[0].title, QStringLiteral("Varnolt"));
        QCOMPARE(answerer.seen[0].text, message);
        QCOMPARE(int(answerer.seen[0].icon), icon);
        QCOMPARE(answerer.seen[0].buttonCount, 1);
        QCOMPARE(std::filesystem::exists(folder / "x.txt"), written);
        // The controls keep what the user put in them.
        QVERIFY(dialog_->isVisible());
        QCOMPARE(Control<QLineEdit>(*dialog_, "IDC_DAT_PATH")->text(), typedPath);
        QCOMPARE(Control<QLineEdit>(*dialog_, "IDC_VOLUME")->text(), volume);
        // The default volume is the dialog's own: a new dialog starts at 100 again.
        QCOMPARE(CConverterDlg().conversionInputs().volumeText, std::string("100"));
    }

    void aFileLayerErrorIsShownAndTheDialogStaysOpen() {
        ScratchFolder folder;
        WriteFile(folder / "big.dat", AnalysisFileBuilder().Frames(600, 5000, 4400).Trailer(30).Bytes());
        WriteFile(folder / "big.txt", "previous");
        SetPath(folder / "big.dat");
        MessageBoxAnswerer answerer;
        {
            // A file-size limit makes the write fail after the output was opened.
            rlimit saved{};
            getrlimit(RLIMIT_FSIZE, &saved);
            const auto previousHandler = std::signal(SIGXFSZ, SIG_IGN);
            rlimit small = saved;
            small.rlim_cur = 1024;
            setrlimit(RLIMIT_FSIZE, &small);
            ClickConvert();
            setrlimit(RLIMIT_FSIZE, &saved);
            std::signal(SIGXFSZ, previousHandler);
        }
        QTRY_COMPARE(answerer.seen.size(), size_t(1));
        QCOMPARE(answerer.seen[0].icon, QMessageBox::Critical);
        QCOMPARE(answerer.seen[0].title, QStringLiteral("Varnolt"));
        QCOMPARE(answerer.seen[0].text, QStringLiteral("cannot write the program text: File too large"));
        QCOMPARE(varnolt::testing::ReadFile(folder / "big.txt"), std::string("previous"));
        QVERIFY(dialog_->isVisible());

        ClickConvert();  // and it still works
        QTRY_COMPARE(answerer.seen.size(), size_t(2));
        QCOMPARE(answerer.seen[1].text, QStringLiteral("終了しました"));
    }

    void theProgramEndsWithTheDialog() {
        dialog_.reset();
        QCOMPARE(QCoreApplication::applicationName(), QStringLiteral("Varnolt"));
        QCOMPARE(QCoreApplication::organizationName(),
                 QStringLiteral("アプリケーション ウィザードで生成されたローカル アプリケーション"));
        // Escape, then the exit button: InitInstance returns either way.
        for (const bool viaExit : {false, true}) {
            QTimer::singleShot(50, [viaExit] {
                auto* shown = qobject_cast<CConverterDlg*>(QApplication::activeModalWidget());
                QVERIFY(shown != nullptr);
                if (viaExit) {
                    QTest::mouseClick(shown->findChild<QPushButton*>(QStringLiteral("IDC_EXIT")), Qt::LeftButton);
                } else {
                    QTest::keyClick(shown, Qt::Key_Escape);
                }
            });
            QCOMPARE(static_cast<CConverterApp*>(qApp)->InitInstance(), 0);
        }
    }
};

int main(int argc, char** argv) {
    CConverterApp app(argc, argv);
    ConverterDlgTest test;
    return QTest::qExec(&test, argc, argv);
}

#include "converterdlg_test.moc"
