// The export wizard's pages, navigation and saving.
#include "shell/TF_Export.h"

#include "platform/Dialogs.h"
#include "platform/TextFile.h"
#include "project/Exports.h"
#include "project/Helpers.h"
#include "project/Settings.h"
#include "project/TJEXObject.h"
#include "shell/TF_ErrorLog.h"
#include "shell/TPageControlEx.h"
#include "workspace/HelpersWidgets.h"
#include "workspace/TF_Measurements.h"
#include "workspace/TF_SMDI.h"

#include <QButtonGroup>
#include <QCheckBox>
#include <QComboBox>
#include <QFontDatabase>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSpinBox>
#include <QTreeWidget>
#include <QVBoxLayout>

TF_Export* F_Export = nullptr;

namespace {

QPlainTextEdit* newMemo(QWidget* parent)
{
    auto* memo = new QPlainTextEdit(parent);
    // The formats are column-aligned: a fixed-pitch font shows the columns as they are.
    QFont font(QStringLiteral("DejaVu Sans Mono"));
    font.setStyleHint(QFont::Monospace);
    font.setPixelSize(13);
    memo->setFont(font);
    memo->setLineWrapMode(QPlainTextEdit::NoWrap);
    return memo;
}

// Every line ends with a line break, as lines added to a memo do, so a trailing empty line is
// still a line when the memo is saved.
void setMemoLines(QPlainTextEdit* memo, const QStringList& lines)
{
    QString text;
    for (const QString& line : lines)
        text += line + QLatin1Char('\n');
    memo->setPlainText(text);
}

} // namespace

TF_Export::TF_Export(QWidget* parent)
    : QDialog(parent)
{
    setWindowTitle(QStringLiteral("Exporting data"));
    setWindowFlags(windowFlags() | Qt::Tool);
    resize(560, 460);
    createHeader();
    createPages();
    createButtons();

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 8);
    auto* header = new QFrame(this);
    header->setAutoFillBackground(true);
    QPalette pal = header->palette();
    pal.setColor(QPalette::Window, Qt::white);
    header->setPalette(pal);
    auto* headerLayout = new QVBoxLayout(header);
    headerLayout->addWidget(L_Header);
    headerLayout->addWidget(M_Header);
    layout->addWidget(header);
    layout->addWidget(PCE, 1);
    auto* buttons = new QHBoxLayout;
    buttons->setContentsMargins(8, 0, 8, 0);
    buttons->addStretch(1);
    buttons->addWidget(B_Back);
    buttons->addWidget(B_Continue);
    buttons->addSpacing(12);
    buttons->addWidget(B_Cancel);
    layout->addLayout(buttons);

    connectComponents();
    pageChanged();
}

TF_Export::~TF_Export()
{
    if (F_Export == this)
        F_Export = nullptr;
}

void TF_Export::createHeader()
{
    L_Header = new QLabel(QStringLiteral("Exporting data"), this);
    QFont bold = L_Header->font();
    bold.setBold(true);
    L_Header->setFont(bold);
    M_Header = new QLabel(this);
    M_Header->setIndent(16);
}

void TF_Export::createPages()
{
    PCE = new TPageControlEx(this);

    // Format choice: one choice over both boxes, though they look like two groups.
    TS_1 = new QWidget;
    {
        auto* rings = new QGroupBox(QStringLiteral("Ring width data"), TS_1);
        RB_FH = new QRadioButton(QStringLiteral("Format Heidelberg"), rings);
        RB_Tucson = new QRadioButton(QStringLiteral("Tucson RWL"), rings);
        RB_ASCII = new QRadioButton(QStringLiteral("Free ASCII format"), rings);
        auto* ringsLayout = new QVBoxLayout(rings);
        ringsLayout->addWidget(RB_FH);
        ringsLayout->addWidget(RB_Tucson);
        ringsLayout->addWidget(RB_ASCII);
        auto* coordinates = new QGroupBox(QStringLiteral("Coordinates"), TS_1);
        RB_CoordinatesASCII = new QRadioButton(QStringLiteral("ASCII"), coordinates);
        auto* coordinatesLayout = new QVBoxLayout(coordinates);
        coordinatesLayout->addWidget(RB_CoordinatesASCII);
        m_formats = new QButtonGroup(this);
        for (QRadioButton* rb : {RB_FH, RB_Tucson, RB_ASCII, RB_CoordinatesASCII})
            m_formats->addButton(rb);
        RB_FH->setChecked(true);
        auto* l = new QVBoxLayout(TS_1);
        l->addWidget(rings);
        l->addWidget(coordinates);
        l->addStretch(1);
    }

    TS_2 = new QWidget;
    {
        E_Keycode = new QLineEdit(TS_2);
        VSTP = new QTreeWidget(TS_2);
        VSTP->setColumnCount(2);
        VSTP->setHeaderLabels({QStringLiteral("Series"), QStringLiteral("Rings")});
        VSTP->setRootIsDecorated(false);
        auto* l = new QVBoxLayout(TS_2);
        auto* form = new QFormLayout;
        form->addRow(QStringLiteral("Keycode suffix"), E_Keycode);
        l->addLayout(form);
        l->addWidget(VSTP, 1);
    }

    TS_FH = new QWidget;
    {
        E_Loc = new QLineEdit(TS_FH);
        E_Comment = new QLineEdit(TS_FH);
        CB_Species = new QComboBox(TS_FH);
        CB_Species->setEditable(true);
        CB_Species->addItems(speciesCodes());
        CB_Species->setCurrentIndex(-1);
        CB_Species->setEditText(QString());
        BB_UpdateFH = new QPushButton(QStringLiteral("Update"), TS_FH);
        BB_UpdateFH->setAutoDefault(false);
        M_FH = newMemo(TS_FH);
        auto* form = new QFormLayout;
        form->addRow(QStringLiteral("Location"), E_Loc);
        form->addRow(QStringLiteral("Comment"), E_Comment);
        form->addRow(QStringLiteral("Species"), CB_Species);
        auto* l = new QVBoxLayout(TS_FH);
        l->addLayout(form);
        l->addWidget(BB_UpdateFH, 0, Qt::AlignRight);
        l->addWidget(M_FH, 1);
    }

    TS_Tucson = new QWidget;
    {
        E_Identifier = new QLineEdit(TS_Tucson);
        BB_UpdateTuc = new QPushButton(QStringLiteral("Update"), TS_Tucson);
        BB_UpdateTuc->setAutoDefault(false);
        M_Tuc = newMemo(TS_Tucson);
        auto* form = new QFormLayout;
        form->addRow(QStringLiteral("Identifier Prefix"), E_Identifier);
        auto* l = new QVBoxLayout(TS_Tucson);
        l->addLayout(form);
        l->addWidget(BB_UpdateTuc, 0, Qt::AlignRight);
        l->addWidget(M_Tuc, 1);
    }

    TS_ASCII = new QWidget;
    {
        SE_ASCIILines = new QSpinBox(TS_ASCII);
        SE_ASCIILines->setRange(1, 10);
        SE_ASCIILines->setValue(10);
        CB_ASCIISEP = new QComboBox(TS_ASCII);
        CB_ASCIISEP->addItems(separatorEntries());
        CB_ASCIISEP->setCurrentIndex(-1);
        SE_ASCIILen = new QSpinBox(TS_ASCII);
        SE_ASCIILen->setRange(0, 10);
        SE_ASCIILen->setValue(6);
        CB_ASCIIFILL = new QComboBox(TS_ASCII);
        CB_ASCIIFILL->addItems(fillEntries());
        CB_ASCIIFILL->setCurrentIndex(-1);
        M_ASCII = newMemo(TS_ASCII);
        auto* form = new QFormLayout;
        form->addRow(QStringLiteral("value(s)/line"), SE_ASCIILines);
        form->addRow(QStringLiteral("Value separator"), CB_ASCIISEP);
        form->addRow(QStringLiteral("Leading characters: Fill to length"), SE_ASCIILen);
        form->addRow(QStringLiteral("using "), CB_ASCIIFILL);
        auto* l = new QVBoxLayout(TS_ASCII);
        l->addLayout(form);
        l->addWidget(M_ASCII, 1);
    }

    TS_CoordinatesASCII = new QWidget;
    {
        CB_AsciiCooHeader = new QCheckBox(QStringLiteral("Header"), TS_CoordinatesASCII);
        CB_AsciiCooIncludePath = new QCheckBox(QStringLiteral("Include Path names"), TS_CoordinatesASCII);
        CB_AsciiCooIndex = new QCheckBox(QStringLiteral("Index points"), TS_CoordinatesASCII);
        CB_AsciiCooMP = new QCheckBox(QStringLiteral("Measuring Points"), TS_CoordinatesASCII);
        for (QCheckBox* cb : {CB_AsciiCooHeader, CB_AsciiCooIncludePath, CB_AsciiCooIndex, CB_AsciiCooMP})
            cb->setChecked(true);
        CB_CooSep = new QComboBox(TS_CoordinatesASCII);
        CB_CooSep->addItems(separatorEntries());
        CB_CooSep->setCurrentIndex(0);
        M_CooASCII = newMemo(TS_CoordinatesASCII);
        auto* checks = new QHBoxLayout;
        for (QCheckBox* cb : {CB_AsciiCooHeader, CB_AsciiCooIncludePath, CB_AsciiCooIndex, CB_AsciiCooMP})
            checks->addWidget(cb);
        auto* form = new QFormLayout;
        form->addRow(QStringLiteral("Value separator"), CB_CooSep);
        auto* l = new QVBoxLayout(TS_CoordinatesASCII);
        l->addLayout(checks);
        l->addLayout(form);
        l->addWidget(M_CooASCII, 1);
    }

    for (QWidget* page : {TS_1, TS_2, TS_FH, TS_Tucson, TS_ASCII, TS_CoordinatesASCII})
        PCE->addTab(page, QString());
    for (int i = 0; i < PCE->count(); ++i)
        PCE->setTabVisible(i, false);
    PCE->setCurrentWidget(TS_1);
}

void TF_Export::createButtons()
{
    B_Back = new QPushButton(QStringLiteral("Back"), this);
    B_Back->setAutoDefault(false);
    B_Cancel = new QPushButton(QStringLiteral("&Cancel"), this);
    B_Cancel->setAutoDefault(false);
    B_Continue = new QPushButton(QStringLiteral("Continue"), this);
    B_Continue->setDefault(true);
}

void TF_Export::connectComponents()
{
    connect(B_Continue, &QPushButton::clicked, this, &TF_Export::B_ContinueClick);
    connect(B_Back, &QPushButton::clicked, this, &TF_Export::B_BackClick);
    connect(B_Cancel, &QPushButton::clicked, this, &TF_Export::B_CancelClick);
    connect(PCE, &TPageControlEx::currentChanged, this, &TF_Export::pageChanged);
    connect(E_Keycode, &QLineEdit::textChanged, this, &TF_Export::E_KeycodeChange);
    connect(BB_UpdateFH, &QPushButton::clicked, this, &TF_Export::CreateFH);
    connect(BB_UpdateTuc, &QPushButton::clicked, this, &TF_Export::CreateTucson);

    connect(SE_ASCIILines, &QSpinBox::valueChanged, this, &TF_Export::CreateASCII);
    connect(SE_ASCIILen, &QSpinBox::valueChanged, this, &TF_Export::CreateASCII);
    connect(CB_ASCIISEP, &QComboBox::currentIndexChanged, this, &TF_Export::CreateASCII);
    connect(CB_ASCIIFILL, &QComboBox::currentIndexChanged, this, &TF_Export::CreateASCII);

    for (QCheckBox* cb : {CB_AsciiCooHeader, CB_AsciiCooIncludePath, CB_AsciiCooIndex, CB_AsciiCooMP})
        connect(cb, &QCheckBox::toggled, this, &TF_Export::CreateCoordinatesASCII);
    connect(CB_CooSep, &QComboBox::currentIndexChanged, this, &TF_Export::CreateCoordinatesASCII);
}

void TF_Export::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    FormShow();
}

void TF_Export::FormShow()
{
    VSTP->clear();
    if (MDI)
        for (const auto& path : MDI->PathList) {
            auto* node = new QTreeWidgetItem(VSTP);
            SetNodeObject(VSTP, node, path.get());
            node->setFlags(node->flags() | Qt::ItemIsUserCheckable);
            node->setCheckState(0, Qt::Checked);
            node->setText(0, seriesText(path.get()));
            node->setText(1, QString::number(TF_Measurements::CountMeasurements(MDI, path.get())));
        }
    for (int i = 0; i < PCE->count(); ++i)
        PCE->setTabVisible(i, false);
    PCE->setCurrentWidget(TS_1);
    pageChanged();
}

QString TF_Export::seriesText(const TPath* path) const
{
    return E_Keycode->text() + path->Name;
}

void TF_Export::E_KeycodeChange()
{
    for (int i = 0; i < VSTP->topLevelItemCount(); ++i) {
        QTreeWidgetItem* node = VSTP->topLevelItem(i);
        if (auto* path = GetNodeObject<TPath>(VSTP, node))
            node->setText(0, seriesText(path));
    }
}

QList<TPath*> TF_Export::CheckedPaths() const
{
    QList<TPath*> paths;
    if (!MDI)
        return paths;
    for (int i = 0; i < VSTP->topLevelItemCount(); ++i) {
        QTreeWidgetItem* node = VSTP->topLevelItem(i);
        if (node->checkState(0) != Qt::Checked)
            continue;
        // Only paths the window still holds: the tree keeps plain pointers.
        auto* path = GetNodeObject<TPath>(VSTP, node);
        for (const auto& p : MDI->PathList)
            if (p.get() == path)
                paths << path;
    }
    return paths;
}

void TF_Export::pageChanged()
{
    QWidget* page = PCE->currentWidget();
    QString header;
    if (page == TS_1)
        header = QStringLiteral("Select a file format for exporting");
    else if (page == TS_2)
        header = QStringLiteral("Select records to export");
    else if (page == TS_FH)
        header = QStringLiteral("Export to Format Heidelberg");
    else if (page == TS_Tucson)
        header = QStringLiteral("Export to Tucson RWL file format\nRing information will be lost!");
    else if (page == TS_ASCII)
        header = QStringLiteral("Export to ASCII file format\nRing information will be lost!");
    else if (page == TS_CoordinatesASCII)
        header = QStringLiteral("Export Coordinates to ASCII");
    M_Header->setText(header);
    B_Back->setEnabled(page != TS_1);
    B_Continue->setText(page == TS_1 || page == TS_2 ? QStringLiteral("Continue") : QStringLiteral("Save"));
}

void TF_Export::B_ContinueClick()
{
    QWidget* page = PCE->currentWidget();
    if (page == TS_1) {
        PCE->setCurrentWidget(TS_2);
    } else if (page == TS_2) {
        if (RB_FH->isChecked()) {
            CreateFH();
            PCE->setCurrentWidget(TS_FH);
        } else if (RB_Tucson->isChecked()) {
            CreateTucson();
            PCE->setCurrentWidget(TS_Tucson);
        } else if (RB_ASCII->isChecked()) {
            CB_ASCIIFILL->setCurrentIndex(0);
            CreateASCII();
            PCE->setCurrentWidget(TS_ASCII);
        } else if (RB_CoordinatesASCII->isChecked()) {
            CB_CooSep->setCurrentIndex(0);
            CreateCoordinatesASCII();
            PCE->setCurrentWidget(TS_CoordinatesASCII);
        }
    } else if (page == TS_FH) {
        saveMemo(M_FH, QStringLiteral("Export to Format Heidelberg"), QStringLiteral("FH"),
                 QStringLiteral("Format Heidelberg files|*.fh"));
    } else if (page == TS_Tucson) {
        saveMemo(M_Tuc, QStringLiteral("Export to Tucson RWL file format"), QStringLiteral("rwl"),
                 QStringLiteral("Tucson RWL files|*.rwl"));
    } else if (page == TS_ASCII) {
        saveMemo(M_ASCII, QStringLiteral("Export to ASCII"), QStringLiteral("txt"), QStringLiteral("ASCII files|*.txt"));
    } else if (page == TS_CoordinatesASCII) {
        saveMemo(M_CooASCII, QStringLiteral("Export Coordinates to ASCII"), QStringLiteral("txt"),
                 QStringLiteral("ASCII files|*.txt"));
    }
}

void TF_Export::B_BackClick()
{
    QWidget* page = PCE->currentWidget();
    if (page == TS_2)
        PCE->setCurrentWidget(TS_1);
    else if (page != TS_1)
        PCE->setCurrentWidget(TS_2);
}

void TF_Export::B_CancelClick()
{
    reject();
}

void TF_Export::saveMemo(const QPlainTextEdit* memo, const QString& title, const QString& defaultExt,
                         const QString& filter)
{
    FileDialogRequest request;
    request.title = title;
    request.defaultExt = defaultExt;
    request.filter = filter;
    request.overwritePrompt = true;
    const FileDialogAnswer answer = dialogs().saveFile(request);
    if (!answer.accepted || answer.fileName().isEmpty())
        return;
    QString reason;
    if (writeTextFile(answer.fileName(), MemoLines(memo), &reason) != 0) {
        TF_ErrorLog::Error(QStringLiteral("Cannot create file \"%1\". %2").arg(answer.fileName(), reason).trimmed(), true);
        return;
    }
    accept();
}

QStringList TF_Export::MemoLines(const QPlainTextEdit* memo)
{
    return splitTextLines(memo->toPlainText());
}

void TF_Export::CreateFH()
{
    QStringList lines;
    for (TPath* path : CheckedPaths()) {
        HeidelbergHeader header;
        header.keycode = seriesText(path);
        header.species = CB_Species->currentText();
        header.location = E_Loc->text();
        header.comment = E_Comment->text();
        lines += heidelbergLines(header, ringValues(*path, RingWidthFileUnits, MDI->DPI));
    }
    setMemoLines(M_FH, lines);
}

void TF_Export::CreateTucson()
{
    QStringList lines;
    int k = 0;
    for (TPath* path : CheckedPaths())
        lines += tucsonLines(tucsonIdentifier(E_Identifier->text(), ++k),
                             widthsOf(ringValues(*path, RingWidthFileUnits, MDI->DPI)));
    setMemoLines(M_Tuc, lines);
}

void TF_Export::CreateASCII()
{
    AsciiOptions options;
    options.decimals = asciiDecimals(SettingUnits);
    options.valuesPerLine = SE_ASCIILines->value();
    options.separator = separatorOf(CB_ASCIISEP->currentIndex());
    options.fillLength = SE_ASCIILen->value();
    options.fill = fillOf(CB_ASCIIFILL->currentIndex());
    QStringList lines;
    for (TPath* path : CheckedPaths())
        lines += asciiLines(path->Name, exactWidthsOf(ringValues(*path, SettingUnits, MDI->DPI)), options);
    setMemoLines(M_ASCII, lines);
}

void TF_Export::CreateCoordinatesASCII()
{
    CoordinateOptions options;
    options.header = CB_AsciiCooHeader->isChecked();
    options.includePathName = CB_AsciiCooIncludePath->isChecked();
    options.indexPoints = CB_AsciiCooIndex->isChecked();
    options.measurementPoints = CB_AsciiCooMP->isChecked();
    options.separator = separatorOf(CB_CooSep->currentIndex());
    QStringList lines;
    if (options.header)
        lines << coordinateHeaderLine(options.separator);
    for (TPath* path : CheckedPaths())
        lines += coordinateLines(*path, options);
    setMemoLines(M_CooASCII, lines);
}
