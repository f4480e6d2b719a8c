// The main dialog: the file, the volume, the frame duration and the channel count, and
// the browse, convert and exit buttons.
#pragma once

#include <QDialog>
#include <QString>
#include <functional>
#include <optional>

#include "driver.h"

class QButtonGroup;
class QLineEdit;
class QPushButton;
class QRadioButton;

namespace varnolt::app {

class CConverterDlg : public QDialog {
    Q_OBJECT

public:
    // Asks the user for an analysis file; nullopt when cancelled. Replaceable for tests.
    using FileChooser = std::function<std::optional<QString>(QWidget* parent)>;

    explicit CConverterDlg(QWidget* parent = nullptr);

    void setFileChooser(FileChooser chooser) { chooseFile_ = std::move(chooser); }

    // The dialog's inputs as the conversion takes them, raw.
    ConversionInputs conversionInputs() const;

    // Converts pixels from dialog units of the dialog's font, as the classic dialog
    // manager does: x * baseX / 4, y * baseY / 8, rounded.
    QRect dialogUnitsToPixels(const QRect& dialogUnits) const;

protected:
    void keyPressEvent(QKeyEvent* event) override;

private slots:
    void onBrowse();
    void onConvert();

private:
    void placeControls();
    void showMessage(const QString& text, bool warning);

    QLineEdit* path_;
    QPushButton* browse_;
    QPushButton* convert_;
    QPushButton* exit_;
    QLineEdit* volume_;
    QRadioButton* unit15_;
    QRadioButton* unit20_;
    QRadioButton* unit30_;
    QRadioButton* unit60_;
    QRadioButton* ch3_;
    QRadioButton* ch4_;
    QRadioButton* ch5_;
    FileChooser chooseFile_;
    int baseX_ = 0;
    int baseY_ = 0;
};

// The platform's file-open dialog with the one analysis-file filter.
std::optional<QString> ChooseAnalysisFile(QWidget* parent);

}  // namespace varnolt::app
