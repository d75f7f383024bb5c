#include "frmConvertSingleFile.h"

#include "BatchText.h"
#include "FormHelpers.h"
#include "ImageFormats.h"
#include "OpenedPaths.h"
#include "SmallestQuality.h"
#include "StrProc.h"
#include "Twips.h"
#include "UserPrompts.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>

namespace pictoria {

namespace {

// Pale cyan: the background of the window, its labels, check boxes and frame.
const QColor kBackColor(0xC0, 0xFF, 0xFF);

constexpr int kHeightWithoutQuality = 2800;
constexpr int kHeightWithQuality = 3570;
constexpr int kLoadShift = 50;
constexpr int kQualityDigits = 3;

// The grid of output format check boxes, in twips.
constexpr int kFormatRows = 3;
constexpr int kFormatsLeft = 105;
constexpr int kFormatsTop = 1155;
constexpr int kFormatColumnStep = 1095;
constexpr int kFormatRowStep = 315;
constexpr int kFormatBoxWidths[kFormatRows] = {960, 960, 855};

const QString kInputError = QStringLiteral("Input error");

}  // namespace

template <typename W>
W* frmConvertSingleFile::place(QWidget* parent, const char* name, int left, int top, int width, int height)
{
    auto* widget = new W(parent);
    widget->setObjectName(QString::fromLatin1(name));
    setTwipsGeometry(widget, QRect(left, top, width, height));
    return widget;
}

frmConvertSingleFile::frmConvertSingleFile(QWidget* mainWindow, const QWidget* topLine, const QWidget* folderBox)
    : QDialog(mainWindow), mainWindow_(mainWindow), topLine_(topLine), folderBox_(folderBox)
{
    setObjectName(QStringLiteral("frmConvertSingleFile"));
    setWindowTitle(QStringLiteral("Convert single file"));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint);
    setModal(true);
    QPalette palette = this->palette();
    palette.setColor(QPalette::Window, kBackColor);
    setPalette(palette);
    setAutoFillBackground(true);
    QFont font = this->font();
    font.setPointSizeF(9.75);
    setFont(font);

    txbFile = place<QLineEdit>(this, "txbFile", 105, 105, 5370, 330);
    txbFile->setReadOnly(true);
    txbFile->setAccessibleName(QStringLiteral("File to be converted"));
    const char* const toBeConverted[2] = {"to be converted to", "(check one or more):"};
    for (int i = 0; i < 2; ++i) {
        const QByteArray name = "lblToBeConvertedTo_" + QByteArray::number(i);
        lblToBeConvertedTo[i] = place<QLabel>(this, name.constData(), 105, i == 0 ? 525 : 840, 2325, 330);
        lblToBeConvertedTo[i]->setText(QString::fromLatin1(toBeConverted[i]));
    }
    // The written formats in columns of three: BMP, PNG, JPG, then WEBP,
    // AVIF, TIFF beside them, and so on.
    const QStringList written = OutputFormatNames();
    for (qsizetype i = 0; i < written.size(); ++i) {
        const QByteArray name = "chk" + written[i].toLatin1();
        const int row = int(i % kFormatRows), column = int(i / kFormatRows);
        QCheckBox* box = place<QCheckBox>(this, name.constData(), kFormatsLeft + column * kFormatColumnStep,
                                          kFormatsTop + row * kFormatRowStep, kFormatBoxWidths[row], 330);
        box->setText(written[i]);
        formatBoxes_.emplace_back(written[i], box);
    }
    chkBMP = formatBox(QStringLiteral("BMP"));
    chkPNG = formatBox(QStringLiteral("PNG"));
    chkJPG = formatBox(QStringLiteral("JPG"));

    fraQuality = place<QGroupBox>(this, "fraQuality", 105, 2100, 3480, 855);
    fraQuality->setFlat(true);
    fraQuality->setStyleSheet(QStringLiteral("QGroupBox#fraQuality { border: 0; margin: 0; padding: 0; }"));
    fraQuality->hide();
    lblQuality = place<QLabel>(fraQuality, "lblQuality", 0, 45, 855, 330);
    lblQuality->setText(QStringLiteral("Quality:"));
    txbQuality[0] = place<QLineEdit>(fraQuality, "txbQuality_0", 870, 0, 500, 360);
    txbQuality[0]->setText(QStringLiteral("80"));
    txbQuality[0]->setAccessibleName(QStringLiteral("First quality"));
    lblTo = place<QLabel>(fraQuality, "lblTo", 1430, 45, 330, 330);
    lblTo->setText(QStringLiteral("to"));
    txbQuality[1] = place<QLineEdit>(fraQuality, "txbQuality_1", 1680, 0, 500, 360);
    txbQuality[1]->setAccessibleName(QStringLiteral("Last quality"));
    for (QLineEdit* box : txbQuality)
        box->setMaxLength(kQualityDigits);
    lblStep = place<QLabel>(fraQuality, "lblStep", 2200, 45, 540, 330);
    lblStep->setText(QStringLiteral("step"));
    cboStep = place<QComboBox>(fraQuality, "cboStep", 2700, 0, 645, 360);
    cboStep->setEditable(false);
    cboStep->setAccessibleName(QStringLiteral("Quality step"));
    // The caption needs 2925 twips in Arial 9.75 pt; the target box, two
    // digits, takes the rest of the frame's width.
    chkSmallestLooksSame = place<QCheckBox>(fraQuality, "chkSmallestLooksSame", 0, 450, 2980, 330);
    chkSmallestLooksSame->setText(QStringLiteral("Smallest that looks the same:"));
    txbTarget = place<QLineEdit>(fraQuality, "txbTarget", 3030, 420, 450, 360);
    txbTarget->setText(QString::number(kDefaultScoreTarget));
    txbTarget->setMaxLength(kQualityDigits);
    txbTarget->setAccessibleName(QStringLiteral("Target score"));

    chkWarnOnOverwrite = place<QCheckBox>(this, "chkWarnOnOverwrite", 3150, 630, 2325, 330);
    chkWarnOnOverwrite->setText(QStringLiteral("Warn on overwrite"));
    chkViewInBrowser = place<QCheckBox>(this, "chkViewInBrowser", 3150, 945, 2325, 330);
    chkViewInBrowser->setText(QStringLiteral("View in browser"));
    cmdDoIt = place<QPushButton>(this, "cmdDoIt", 3675, 1260, 1800, 360);
    cmdDoIt->setText(QStringLiteral("Convert file"));
    cmdCancel = place<QPushButton>(this, "cmdCancel", 3675, 1680, 1800, 360);
    cmdCancel->setText(QStringLiteral("Cancel"));

    for (const auto& [format, box] : formatBoxes_)
        box->setAccessibleName(box->text());
    for (QCheckBox* box : {chkWarnOnOverwrite, chkViewInBrowser, chkSmallestLooksSame})
        box->setAccessibleName(box->text());
    // Enter presses the focused button, or "Convert file" from the quality boxes.
    for (QPushButton* button : {cmdDoIt, cmdCancel})
        button->setAccessibleName(button->text());

    setWindowWidthTwips(5580);
    setWindowHeightTwips(kHeightWithoutQuality);

    Form_Load();

    // A value set from code raises the click handler only when it changes,
    // just as a user's click does.
    for (const auto& [format, box] : formatBoxes_)
        connect(box, &QCheckBox::toggled, this,
                IsLossyFormat(format) ? &frmConvertSingleFile::chkLossy_Click
                                      : &frmConvertSingleFile::chkLossless_Click);
    connect(chkWarnOnOverwrite, &QCheckBox::toggled, this, &frmConvertSingleFile::chkWarnOnOverwrite_Click);
    connect(chkViewInBrowser, &QCheckBox::toggled, this, &frmConvertSingleFile::chkViewInBrowser_Click);
    connect(cboStep, &QComboBox::currentIndexChanged, this, &frmConvertSingleFile::cboStep_Click);
    connect(cmdDoIt, &QPushButton::clicked, this, &frmConvertSingleFile::cmdDoIt_Click);
    connect(cmdCancel, &QPushButton::clicked, this, &frmConvertSingleFile::cmdCancel_Click);
}

QCheckBox* frmConvertSingleFile::formatBox(const QString& format) const
{
    for (const auto& [name, box] : formatBoxes_)
        if (name == format)
            return box;
    return nullptr;
}

QStringList frmConvertSingleFile::checkedFormats() const
{
    QStringList formats;
    for (const QString& format : OutputFormatsInWritingOrder())
        if (formatBox(format)->isChecked())
            formats << format;
    return formats;
}

QString frmConvertSingleFile::checkedLossyFormats() const
{
    QStringList lossy = checkedFormats();
    lossy.removeIf([](const QString& format) { return !IsLossyFormat(format); });
    return JoinedFormatNames(lossy);
}

// ---- Geometry in twips ---------------------------------------------------------

void frmConvertSingleFile::setTwipsGeometry(QWidget* control, const QRect& twips)
{
    twips_.insert(control, twips);
    control->setGeometry(TwipsRect(twips.left(), twips.top(), twips.width(), twips.height()));
}

void frmConvertSingleFile::setLeftTwips(QWidget* control, int left)
{
    QRect r = twips_.value(control);
    r.moveLeft(left);
    setTwipsGeometry(control, r);
}

void frmConvertSingleFile::setTopTwips(QWidget* control, int top)
{
    QRect r = twips_.value(control);
    r.moveTop(top);
    setTwipsGeometry(control, r);
}

void frmConvertSingleFile::setWidthTwips(QWidget* control, int width)
{
    QRect r = twips_.value(control);
    r.setWidth(width);
    setTwipsGeometry(control, r);
}

void frmConvertSingleFile::setWindowHeightTwips(int twips)
{
    heightTwips_ = twips;
    setFixedHeight(TwipsToPixels(twips));
}

void frmConvertSingleFile::setWindowWidthTwips(int twips)
{
    widthTwips_ = twips;
    setFixedWidth(TwipsToPixels(twips));
}

// ---- Event handlers ------------------------------------------------------------

void frmConvertSingleFile::Form_Load()
{
    {
        const QSignalBlocker filling(cboStep);
        cboStep->clear();
        cboStep->addItems({QStringLiteral("5"), QStringLiteral("10"), QStringLiteral("20"), QStringLiteral("30")});
        cboStep->setCurrentIndex(1);
    }
    SetFormFontBold(*this, false);
    for (QWidget* control : twips_.keys())
        setTopTwips(control, twips_.value(control).top() + kLoadShift);
    SetFormFontName(*this, QStringLiteral("Arial"), true);
}

void frmConvertSingleFile::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    // Restoring a minimised window is no new showing.
    if (!event->spontaneous())
        Form_Activate();
}

void frmConvertSingleFile::Form_Activate()
{
    // Over the main window, as wide as its input folder box.
    const int topTwips = PixelsToTwips(mainWindow_->y()) + PixelsToTwips(topLine_->y()) + 300;
    const int leftTwips = PixelsToTwips(mainWindow_->x()) + PixelsToTwips(folderBox_->x()) + 10;
    setWindowWidthTwips(PixelsToTwips(folderBox_->width()));
    PlaceWindow(*this, QPoint(TwipsToPixels(leftTwips), TwipsToPixels(topTwips)));

    const int fileLeft = twips_.value(txbFile).left();
    const int fileWidth = widthTwips_ - fileLeft - 200;
    setWidthTwips(txbFile, fileWidth);
    const int buttonsLeft = widthTwips_ - twips_.value(cmdDoIt).width() - 200;
    setLeftTwips(cmdDoIt, buttonsLeft);
    setLeftTwips(cmdCancel, buttonsLeft);
    // The two options right-aligned with the file box.
    const int optionsLeft = fileLeft + fileWidth - twips_.value(chkWarnOnOverwrite).width();
    const int warnTop = twips_.value(lblToBeConvertedTo[0]).top();
    setLeftTwips(chkWarnOnOverwrite, optionsLeft);
    setTopTwips(chkWarnOnOverwrite, warnTop);
    setLeftTwips(chkViewInBrowser, optionsLeft);
    setTopTwips(chkViewInBrowser, warnTop + 330);

    // The end of a long path is the part worth seeing.
    txbFile->end(false);

    for (const auto& [format, box] : formatBoxes_) {
        box->setChecked(false);
        box->setEnabled(true);
    }
    fraQuality->hide();
    const QStringList files = QStringList(strFilepath) + strMoreFilepaths;
    for (const auto& [format, box] : formatBoxes_)
        box->setEnabled(std::any_of(files.begin(), files.end(),
                                    [&format](const QString& file) { return TakesOutputFormat(file, format); }));
    setWindowHeightTwips(kHeightWithoutQuality);
    chkWarnOnOverwrite->setChecked(true);
    if (txbQuality[1]->text() == txbQuality[0]->text())
        txbQuality[1]->clear();
    blnProceed = false;
    cmdCancel->setFocus();
}

void frmConvertSingleFile::chkLossy_Click()
{
    const bool quality = !checkedLossyFormats().isEmpty();
    fraQuality->setVisible(quality);
    setWindowHeightTwips(quality ? kHeightWithQuality : kHeightWithoutQuality);
    setTopTwips(cmdDoIt, heightTwips_ - 1340);
    setTopTwips(cmdCancel, heightTwips_ - 920);
    repaint();
    cmdDoIt->setFocus();
}

void frmConvertSingleFile::chkLossless_Click() { cmdDoIt->setFocus(); }

void frmConvertSingleFile::focusDoItWhenVisible()
{
    if (isVisible())
        cmdDoIt->setFocus();
}

void frmConvertSingleFile::chkWarnOnOverwrite_Click() { focusDoItWhenVisible(); }
void frmConvertSingleFile::chkViewInBrowser_Click() { focusDoItWhenVisible(); }
void frmConvertSingleFile::cboStep_Click() { focusDoItWhenVisible(); }

void frmConvertSingleFile::cmdDoIt_Click()
{
    if (checkedFormats().isEmpty()) {
        showMessage(this, QStringLiteral("No file format selected."), kInputError, MsgIcon::Exclamation);
        return;
    }
    const QString lossy = checkedLossyFormats();
    if (!lossy.isEmpty()) {
        for (QLineEdit* box : txbQuality) {
            QString text = box->text();
            CleanNumberText(text, false);
            box->setText(text);
        }
        QString first = txbQuality[0]->text();
        QString last = txbQuality[1]->text();
        if (first.isEmpty() && last.isEmpty()) {
            showMessage(this, QStringLiteral("No qualitiy specified."), kInputError, MsgIcon::Exclamation);
            return;
        }
        if (last.isEmpty()) {
            last = first;
            txbQuality[1]->setText(last);
        } else if (first.isEmpty()) {
            first = last;
            txbQuality[0]->setText(first);
        }
        // A lone "+" reads as 0 and is refused by the range check below.
        const std::optional<qint16> from = QualityFromText(first);
        const std::optional<qint16> to = QualityFromText(last);
        const int low = intMinQuality;
        const int high = intMaxQuality;
        auto inRange = [low, high](std::optional<qint16> q) { return q && *q >= low && *q <= high; };
        if (!inRange(from) || !inRange(to)) {
            showMessage(this, QualityRangeMessage(lossy, low, high), kInputError);
            return;
        }
        std::optional<int> target;
        if (chkSmallestLooksSame->isChecked()) {
            QString text = txbTarget->text();
            CleanNumberText(text, false);
            txbTarget->setText(text);
            target = ScoreTargetFromText(text);
            if (!target) {
                showMessage(this, ScoreTargetMessage(), kInputError, MsgIcon::Exclamation);
                return;
            }
        }
        if (target)
            intScoreTarget = *target;
        intQualityFrom = *from;
        intQualityTo = *to;
        intQualityStep = cboStep->currentText().toInt();
        if (*to < *from)
            intQualityStep = -intQualityStep;
    }
    blnProceed = true;
    hide();
}

void frmConvertSingleFile::cmdCancel_Click() { hide(); }

}  // namespace pictoria
