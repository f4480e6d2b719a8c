#include "converterdlg.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QFile>
#include <QFileDialog>
#include <QFontMetrics>
#include <QGroupBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <algorithm>
#include <exception>

#include "appicon.h"
#include "resource.h"

namespace varnolt::app {

namespace {

// The volume field's start value; a conversion never changes it.
constexpr int kDefaultVolume = 100;

// The dialog font: MS UI Gothic 9 pt where it exists, else an installed Japanese gothic.
QFont DialogFont() {
    QFont font;
    font.setFamilies({QStringLiteral("MS UI Gothic"), QStringLiteral("IPAGothic"), QStringLiteral("Noto Sans CJK JP")});
    font.setPointSize(9);
    return font;
}

// Rounds a * b / c as the classic MulDiv does (half away from zero).
int MulDiv(int a, int b, int c) {
    const long long product = static_cast<long long>(a) * b;
    const long long half = c / 2;
    return static_cast<int>(product >= 0 ? (product + half) / c : (product - half) / c);
}

template <typename Widget>
Widget* Named(Widget* widget, const char* name) {
    widget->setObjectName(QString::fromLatin1(name));
    return widget;
}

}  // namespace

CConverterDlg::CConverterDlg(QWidget* parent)
    : QDialog(parent,
              Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                  Qt::WindowCloseButtonHint),
      chooseFile_(ChooseAnalysisFile) {
    setObjectName(QStringLiteral("IDD_MAIN"));
    setWindowTitle(QStringLiteral("Varnolt"));
    setWindowIcon(MakeApplicationIcon());
    setFont(DialogFont());

    // Template order is focus order: the five tab stops come first in it.
    path_ = Named(new QLineEdit(this), "IDC_DAT_PATH");
    browse_ = Named(new QPushButton(QStringLiteral("参照"), this), "IDC_BROWSE");
    Named(new QLabel(QStringLiteral("DATファイル"), this), "IDC_STATIC_DAT");
    convert_ = Named(new QPushButton(QStringLiteral("変換"), this), "IDC_CONVERT");
    exit_ = Named(new QPushButton(QStringLiteral("終了"), this), "IDC_EXIT");
    volume_ = Named(new QLineEdit(this), "IDC_VOLUME");
    Named(new QLabel(QStringLiteral("音量(%)"), this), "IDC_STATIC_VOLUME");
    Named(new QGroupBox(QStringLiteral("発音単位"), this), "IDC_STATIC_UNIT");
    unit15_ = Named(new QRadioButton(QStringLiteral("1/15秒"), this), "IDC_UNIT_15");
    unit20_ = Named(new QRadioButton(QStringLiteral("1/20秒"), this), "IDC_UNIT_20");
    unit30_ = Named(new QRadioButton(QStringLiteral("1/30秒"), this), "IDC_UNIT_30");
    unit60_ = Named(new QRadioButton(QStringLiteral("1/60秒"), this), "IDC_UNIT_60");
    Named(new QGroupBox(QStringLiteral("発音数"), this), "IDC_STATIC_CHANNELS");
    ch3_ = Named(new QRadioButton(QStringLiteral("３ch"), this), "IDC_CH3");
    ch4_ = Named(new QRadioButton(QStringLiteral("４ch"), this), "IDC_CH4");
    ch5_ = Named(new QRadioButton(QStringLiteral("５ch"), this), "IDC_CH5");

    // Two groups; each keeps exactly one selected once one is. Radio buttons are reached
    // by mouse or by the arrow keys within their group, never by Tab.
    auto* unitGroup = new QButtonGroup(this);
    auto* channelGroup = new QButtonGroup(this);
    for (QRadioButton* button : {unit15_, unit20_, unit30_, unit60_}) unitGroup->addButton(button);
    for (QRadioButton* button : {ch3_, ch4_, ch5_}) channelGroup->addButton(button);
    for (QRadioButton* button : {unit15_, unit20_, unit30_, unit60_, ch3_, ch4_, ch5_}) {
        button->setFocusPolicy(Qt::ClickFocus);
    }
    // No default button: Enter is handled in keyPressEvent.
    for (QPushButton* button : {browse_, convert_, exit_}) {
        button->setAutoDefault(false);
        button->setDefault(false);
        button->setFocusPolicy(Qt::StrongFocus);
    }
    setTabOrder(path_, browse_);
    setTabOrder(browse_, convert_);
    setTabOrder(convert_, exit_);
    setTabOrder(exit_, volume_);
    setTabOrder(volume_, path_);

    placeControls();

    volume_->setText(QString::number(kDefaultVolume));
    unit30_->setChecked(true);
    ch4_->setChecked(true);
    path_->setFocus(Qt::OtherFocusReason);

    connect(browse_, &QPushButton::clicked, this, &CConverterDlg::onBrowse);
    connect(convert_, &QPushButton::clicked, this, &CConverterDlg::onConvert);
    connect(exit_, &QPushButton::clicked, this, &QDialog::accept);
}

QRect CConverterDlg::dialogUnitsToPixels(const QRect& dialogUnits) const {
    return QRect(MulDiv(dialogUnits.x(), baseX_, 4), MulDiv(dialogUnits.y(), baseY_, 8),
                 MulDiv(dialogUnits.width(), baseX_, 4), MulDiv(dialogUnits.height(), baseY_, 8));
}

void CConverterDlg::placeControls() {
    // Base units of the dialog font: average width of A-Z and a-z, and the line height.
    const QFontMetrics metrics(font());
    const int extent = metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    baseX_ = (extent / 26 + 1) / 2;
    baseY_ = metrics.height();

    // Positions and sizes in dialog units, in template order.
    struct Placement {
        const char* name;
        QRect dialogUnits;
    };
    static const Placement placements[] = {
        {"IDC_DAT_PATH", {20, 25, 180, 20}},       {"IDC_BROWSE", {220, 25, 40, 20}},
        {"IDC_STATIC_DAT", {20, 15, 65, 8}},       {"IDC_CONVERT", {20, 100, 40, 35}},
        {"IDC_EXIT", {220, 100, 40, 35}},          {"IDC_VOLUME", {20, 65, 40, 20}},
        {"IDC_STATIC_VOLUME", {20, 55, 40, 8}},    {"IDC_STATIC_UNIT", {80, 70, 48, 68}},
        {"IDC_UNIT_15", {85, 81, 35, 10}},         {"IDC_UNIT_20", {85, 95, 35, 10}},
        {"IDC_UNIT_30", {85, 109, 35, 10}},        {"IDC_UNIT_60", {85, 123, 35, 10}},
        {"IDC_STATIC_CHANNELS", {150, 70, 48, 68}}, {"IDC_CH3", {160, 85, 30, 10}},
        {"IDC_CH4", {160, 101, 30, 10}},           {"IDC_CH5", {160, 117, 30, 10}},
    };
    for (const Placement& placement : placements) {
        QWidget* control = findChild<QWidget*>(QString::fromLatin1(placement.name));
        QRect pixels = dialogUnitsToPixels(placement.dialogUnits);
        // Fonts and radio indicators here are wider than the ones the layout was drawn
        // for: a label or radio button grows to the right rather than clip its text.
        if (qobject_cast<QLabel*>(control) || qobject_cast<QRadioButton*>(control)) {
            pixels.setWidth(std::max(pixels.width(), control->sizeHint().width()));
        }
        control->setGeometry(pixels);
    }
    // Group boxes lie under the radio buttons they frame.
    for (QGroupBox* box : findChildren<QGroupBox*>()) box->lower();
    setFixedSize(dialogUnitsToPixels(QRect(0, 0, 281, 160)).size());
    move(0, 0);  // top-left corner of the screen, not centred
}

ConversionInputs CConverterDlg::conversionInputs() const {
    ConversionInputs inputs;
    inputs.pathText = QFile::encodeName(path_->text()).toStdString();
    inputs.volumeText = volume_->text().toStdString();
    inputs.unit15Selected = unit15_->isChecked();
    inputs.unit20Selected = unit20_->isChecked();
    inputs.unit30Selected = unit30_->isChecked();
    inputs.unit60Selected = unit60_->isChecked();
    inputs.ch4Selected = ch4_->isChecked();
    inputs.ch5Selected = ch5_->isChecked();
    return inputs;
}

void CConverterDlg::keyPressEvent(QKeyEvent* event) {
    const bool enter = event->key() == Qt::Key_Return || event->key() == Qt::Key_Enter;
    const bool plain = event->modifiers() == Qt::NoModifier || event->modifiers() == Qt::KeypadModifier;
    if (enter && plain) {
        // Enter on a push button clicks it; anywhere else it ends the dialog with OK.
        if (auto* button = qobject_cast<QPushButton*>(focusWidget())) {
            button->click();
        } else {
            accept();
        }
        return;
    }
    QDialog::keyPressEvent(event);  // Escape: Cancel
}

void CConverterDlg::onBrowse() {
    if (const std::optional<QString> file = chooseFile_(this)) path_->setText(*file);
}

void CConverterDlg::onConvert() {
    try {
        RunConversion(conversionInputs(), [this](const std::string& text, MessageKind kind) {
            showMessage(QString::fromStdString(text), kind == MessageKind::Warning);
        });
    } catch (const std::exception& error) {
        // The system failed a read, write or close: say so, and stay open.
        QMessageBox box(QMessageBox::Critical, QStringLiteral("Varnolt"), QString::fromLocal8Bit(error.what()),
                        QMessageBox::Ok, this);
        box.exec();
    }
}

void CConverterDlg::showMessage(const QString& text, bool warning) {
    QMessageBox box(warning ? QMessageBox::Warning : QMessageBox::NoIcon, QStringLiteral("Varnolt"), text,
                    QMessageBox::Ok, this);
    box.exec();
}

std::optional<QString> ChooseAnalysisFile(QWidget* parent) {
    QFileDialog dialog(parent);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    // Shown as its label alone, "DAT File  （ *.dat ）".
    const QString label = QStringLiteral("DAT File  （ *.dat ）");
    dialog.setOption(QFileDialog::HideNameFilterDetails);
    dialog.setNameFilter(label + QStringLiteral(" (*.dat)"));
    // Qt folds the two blanks of the label into one; Qt's own chooser gets it back.
    if (auto* types = dialog.findChild<QComboBox*>(QStringLiteral("fileTypeCombo")); types && types->count() == 1) {
        types->setItemText(0, label);
    }
    dialog.setDefaultSuffix(QStringLiteral("dat"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return std::nullopt;
    return dialog.selectedFiles().first();
}

}  // namespace varnolt::app
