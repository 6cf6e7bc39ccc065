// Rich-text editor: tool bar and text area kept in step, RTF in and out, pictures, links and the
// popup's clipboard, file and print commands.
#include "workspace/TRichTextEditor.h"

#include "platform/AtomicFile.h"
#include "platform/Cp1252.h"
#include "platform/Dialogs.h"
#include "platform/Rtf.h"
#include "platform/ShellOpen.h"
#include "shell/TColorPickerButton.h"
#include "shell/TF_ErrorLog.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QFile>
#include <QFileInfo>
#include <QFontDatabase>
#include <QImage>
#include <QLineEdit>
#include <QMenu>
#include <QMimeData>
#include <QPrintDialog>
#include <QPrinter>
#include <QRegularExpression>
#include <QSpinBox>
#include <QStringDecoder>
#include <QTextBlock>
#include <QTextDocument>
#include <QTextList>
#include <QToolButton>
#include <QUrl>
#include <QVBoxLayout>
#include <QWheelEvent>

namespace {

// Larger files are no notes: reading them would only hold the program up.
constexpr qint64 MaxFileBytes = 64 * 1024 * 1024;

int pictureCounter = 0;

// The faces the stored settings name, as this desktop has them.
QString mapFace(const QString& face)
{
    if (face.compare(QLatin1String("Tahoma"), Qt::CaseInsensitive) == 0)
        return QStringLiteral("DejaVu Sans");
    if (face.compare(QLatin1String("Consolas"), Qt::CaseInsensitive) == 0)
        return QStringLiteral("DejaVu Sans Mono");
    return face;
}

QString textOfFile(const QByteArray& bytes)
{
    QStringDecoder utf8(QStringDecoder::Utf8);
    QString text = utf8.decode(bytes);
    return utf8.hasError() ? Cp1252::toUnicode(bytes) : text;
}

} // namespace

// ---- the text area ----

TRichEdit::TRichEdit(QWidget* parent)
    : QTextEdit(parent)
{
    setMouseTracking(true);
    viewport()->setMouseTracking(true);
}

QString TRichEdit::urlAt(QPoint viewportPos) const
{
    const QString anchor = anchorAt(viewportPos);
    if (!anchor.isEmpty())
        return anchor;
    // Addresses written in the text count as links too.
    const QTextCursor at = cursorForPosition(viewportPos);
    const QString line = at.block().text();
    const int column = at.positionInBlock();
    static const QRegularExpression address(QStringLiteral(R"((?:https?://|www\.)[^\s<>"]+)"),
                                            QRegularExpression::CaseInsensitiveOption);
    for (auto it = address.globalMatch(line); it.hasNext();) {
        const QRegularExpressionMatch m = it.next();
        if (column >= m.capturedStart() && column < m.capturedEnd()) {
            QString url = m.captured();
            if (url.startsWith(QStringLiteral("www."), Qt::CaseInsensitive))
                url.prepend(QStringLiteral("http://"));
            return url;
        }
    }
    return {};
}

void TRichEdit::wheelEvent(QWheelEvent* event)
{
    if (event->modifiers() & Qt::ControlModifier) {
        // 120 per notch, added to the zoom percentage.
        const int next = qBound(10, m_zoom + event->angleDelta().y(), 500);
        const int steps = (next - m_zoom) / 10;
        if (steps > 0)
            zoomIn(steps);
        else if (steps < 0)
            zoomOut(-steps);
        m_zoom = next;
        event->accept();
        return;
    }
    QTextEdit::wheelEvent(event);
}

void TRichEdit::mouseMoveEvent(QMouseEvent* event)
{
    if (!hasFocus() && isEnabled())
        setFocus(Qt::MouseFocusReason);
    viewport()->setCursor(urlAt(event->position().toPoint()).isEmpty() ? Qt::IBeamCursor : Qt::PointingHandCursor);
    QTextEdit::mouseMoveEvent(event);
}

void TRichEdit::mouseReleaseEvent(QMouseEvent* event)
{
    QTextEdit::mouseReleaseEvent(event);
    if (event->button() != Qt::LeftButton || textCursor().hasSelection())
        return;
    const QString url = urlAt(event->position().toPoint());
    if (!url.isEmpty())
        ShellOpenUrl(QUrl(url)); // only web addresses are handed over
}

void TRichEdit::contextMenuEvent(QContextMenuEvent* event)
{
    if (auto* owner = qobject_cast<TRichTextEditor*>(parentWidget())) {
        owner->UpdatePopupItems();
        owner->PM->popup(event->globalPos());
        return;
    }
    QTextEdit::contextMenuEvent(event);
}

bool TRichEdit::canInsertFromMimeData(const QMimeData* source) const
{
    return source->hasImage() || QTextEdit::canInsertFromMimeData(source);
}

void TRichEdit::insertFromMimeData(const QMimeData* source)
{
    if (source->hasImage()) {
        const QImage image = qvariant_cast<QImage>(source->imageData());
        if (!image.isNull()) {
            const QString name = QStringLiteral("notesimage:%1").arg(++pictureCounter);
            document()->addResource(QTextDocument::ImageResource, QUrl(name), image);
            QTextImageFormat f;
            f.setName(name);
            textCursor().insertImage(f);
            return;
        }
    }
    QTextEdit::insertFromMimeData(source);
}

// ---- the editor ----

TRichTextEditor::TRichTextEditor(QWidget* parent)
    : QWidget(parent)
{
    resize(300, 200);

    TopPanel = new QWidget(this);
    TopPanel->setFixedHeight(25);
    CB_FontName = new QComboBox(this);
    CB_FontName->setGeometry(5, 2, 125, 21);
    E_FontSize = new QLineEdit(this);
    E_FontSize->setGeometry(135, 2, 30, 21);
    UpDown = new QSpinBox(this);
    UpDown->setGeometry(167, 2, 15, 21);
    UpDown->setRange(6, 100);
    UpDown->setButtonSymbols(QAbstractSpinBox::UpDownArrows);
    UpDown->setStyleSheet(QStringLiteral("QSpinBox { color: transparent; }"));

    B_Color = new TColorPickerButton(TopPanel);
    B_Color->setGeometry(185, 0, 45, 23);
    B_Color->setToolTip(QStringLiteral("Select color"));
    B_Color->setAutoRaise(true);

    auto button = [this](int left, const QString& glyph, const QString& hint) {
        auto* b = new QToolButton(TopPanel);
        b->setGeometry(left + 5, 0, 25, 23);
        b->setText(glyph);
        b->setToolTip(hint);
        b->setAutoRaise(true);
        b->setCheckable(true);
        return b;
    };
    B_Italic = button(230, QStringLiteral("I"), QStringLiteral("Italic"));
    B_Bold = button(255, QStringLiteral("B"), QStringLiteral("Bold"));
    B_Underline = button(280, QStringLiteral("U"), QStringLiteral("Underline"));
    B_Left = button(310, QStringLiteral("\u2261L"), QStringLiteral("Left align"));
    B_Center = button(335, QStringLiteral("\u2261C"), QStringLiteral("Center align"));
    B_Right = button(360, QStringLiteral("\u2261R"), QStringLiteral("Right align"));
    B_Block = button(385, QStringLiteral("\u2261J"), QStringLiteral("Justify align"));
    B_Bullet = button(420, QStringLiteral("\u2022"), QStringLiteral("Bullets"));
    B_Image = button(450, QString(), QStringLiteral("Load image"));
    B_Image->setCheckable(false);
    B_Image->setIcon(style()->standardIcon(QStyle::SP_FileDialogContentsView));
    B_Link = button(480, QStringLiteral("\u21AA"), QStringLiteral("Set/reset hypertext link"));
    QFont f = B_Italic->font();
    f.setItalic(true);
    B_Italic->setFont(f);
    f = B_Bold->font();
    f.setBold(true);
    B_Bold->setFont(f);
    f = B_Underline->font();
    f.setUnderline(true);
    B_Underline->setFont(f);
    for (QToolButton* b : {B_Italic, B_Bold, B_Underline, B_Left, B_Center, B_Right, B_Block, B_Bullet})
        connect(b, &QToolButton::clicked, this, [this, b] { FormatButtonClick(b); });
    connect(B_Link, &QToolButton::clicked, this, &TRichTextEditor::LinkButtonClick);
    connect(B_Image, &QToolButton::clicked, this, &TRichTextEditor::InsertImageClick);

    Editor = new TRichEdit(this);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(TopPanel);
    auto* area = new QVBoxLayout;
    area->setContentsMargins(5, 5, 5, 5);
    area->addWidget(Editor);
    layout->addLayout(area, 1);
    for (QWidget* w : std::initializer_list<QWidget*>{CB_FontName, E_FontSize, UpDown})
        w->raise();

    PM = new QMenu(this);
    auto item = [this](const QString& caption, int tag) {
        QAction* a = PM->addAction(caption);
        connect(a, &QAction::triggered, this, [this, tag] { PopupItemClick(tag); });
        return a;
    };
    PM_Copy = item(QStringLiteral("Copy"), 1);
    PM_Paste = item(QStringLiteral("Paste"), 2);
    PM->addSeparator();
    PM_SelectAll = item(QStringLiteral("Select All"), 3);
    PM_Clear = item(QStringLiteral("Clear"), 4);
    PM->addSeparator();
    PM_Load = item(QStringLiteral("Load"), 5);
    PM_Save = item(QStringLiteral("Save"), 6);
    PM_Print = PM->addAction(QStringLiteral("Print"), this, &TRichTextEditor::PrintContent);

    connect(CB_FontName, &QComboBox::activated, this, [this] {
        if (fUpdating)
            return;
        FontName = CB_FontName->currentText();
        QTextCharFormat fmt;
        fmt.setFontFamilies(QStringList{FontName});
        mergeCurrent(fmt);
    });
    connect(B_Color, &TColorPickerButton::colorChanged, this, [this](int color) {
        if (fUpdating)
            return;
        FontColor = color;
        QTextCharFormat fmt;
        fmt.setForeground(TColorPickerButton::toQColor(color));
        mergeCurrent(fmt);
    });
    connect(UpDown, &QSpinBox::valueChanged, this, [this](int v) {
        if (fUpdating)
            return;
        E_FontSize->setText(QString::number(v));
        applySizeText();
    });
    connect(E_FontSize, &QLineEdit::editingFinished, this, &TRichTextEditor::applySizeText);
    connect(Editor, &QTextEdit::cursorPositionChanged, this, &TRichTextEditor::SelectionChanged);
    connect(Editor, &QTextEdit::currentCharFormatChanged, this, &TRichTextEditor::SelectionChanged);
    connect(Editor->document(), &QTextDocument::contentsChanged, this, &TRichTextEditor::ContentChanged);
}

void TRichTextEditor::Initialize(bool SetFocus)
{
    GetFontNames();
    SetContent(QString());
    UpDown->setValue(FontSize);
    Editor->setTextCursor(QTextCursor(Editor->document()));
    if (SetFocus)
        Editor->setFocus();
}

void TRichTextEditor::GetFontNames()
{
    const QSignalBlocker block(CB_FontName);
    CB_FontName->clear();
    QStringList families = QFontDatabase::families();
    families.sort(Qt::CaseInsensitive);
    CB_FontName->addItems(families);
}

QString TRichTextEditor::GetContent() const
{
    const QTextDocument* doc = Editor->document();
    // Notes nobody edited go back byte for byte: whatever the editor cannot hold stays in them.
    if (!m_readContent.isEmpty() && !doc->isModified())
        return m_readContent;
    if (doc->isEmpty())
        return QString();
    return QString::fromLatin1(Rtf::write(*doc));
}

void TRichTextEditor::SetContent(const QString& s)
{
    m_loading = true;
    m_readContent = s;
    m_lost.clear();
    m_lossTold = false;
    Editor->setPlaceholderText(QString());
    QTextDocument* doc = Editor->document();
    if (s.isEmpty()) {
        Editor->clear();
    } else {
        // Notes are stored as code-page text; RTF itself is ASCII with escapes.
        const QByteArray bytes = Cp1252::fromUnicode(s);
        if (Rtf::looksLikeRtf(bytes)) {
            const Rtf::ReadResult r = Rtf::read(bytes, *doc);
            m_lost = r.lost;
            if (!r.ok) {
                Editor->clear();
                const QString why = QStringLiteral("The project notes cannot be shown: ") + r.error
                                    + QStringLiteral(" They are kept unchanged as long as nothing is typed.");
                Editor->setPlaceholderText(why);
                TF_ErrorLog::AddLog(0, why);
            }
        } else {
            Editor->setPlainText(s);
        }
    }
    doc->setModified(false);
    Editor->moveCursor(QTextCursor::Start);
    Editor->ensureCursorVisible();
    m_loading = false;
    SelectionChanged();
}

void TRichTextEditor::SelectFont(const QString& Name, int Size, int Color)
{
    FontName = Name;
    FontSize = qBound(1, Size, 1000);
    FontColor = Color;
    const QString face = mapFace(Name);
    QTextCharFormat fmt;
    fmt.setFontFamilies(QStringList{face});
    fmt.setFontPointSize(FontSize);
    fmt.setForeground(TColorPickerButton::toQColor(Color));
    Editor->mergeCurrentCharFormat(fmt);
    QFont font(face);
    font.setPointSize(FontSize);
    Editor->document()->setDefaultFont(font);
    fUpdating = true;
    const int at = CB_FontName->findText(face, Qt::MatchFixedString);
    if (at >= 0)
        CB_FontName->setCurrentIndex(at);
    else
        CB_FontName->setEditText(Name);
    B_Color->setColor(Color);
    UpDown->setValue(qBound(6, FontSize, 100));
    E_FontSize->setText(QString::number(FontSize));
    fUpdating = false;
}

bool TRichTextEditor::LoadImage(const QString& AFilename)
{
    const QString ext = QFileInfo(AFilename).suffix().toUpper();
    if (ext != QStringLiteral("BMP") && ext != QStringLiteral("JPG"))
        return false;
    QImage image;
    if (!image.load(AFilename, ext == QStringLiteral("BMP") ? "BMP" : "JPG")) {
        ShowMessage(QStringLiteral("The picture ") + AFilename + QStringLiteral(" cannot be read."));
        return false;
    }
    const QString name = QStringLiteral("notesimage:%1").arg(++pictureCounter);
    Editor->document()->addResource(QTextDocument::ImageResource, QUrl(name), image);
    QTextImageFormat f;
    f.setName(name);
    f.setWidth(image.width());
    f.setHeight(image.height());
    Editor->textCursor().insertImage(f);
    return true;
}

int TRichTextEditor::LoadFromFile(const QString& AFilename)
{
    QFile file(AFilename);
    if (!file.open(QIODevice::ReadOnly)) {
        ShowMessage(QStringLiteral("The file ") + AFilename + QStringLiteral(" cannot be opened: ") + file.errorString());
        return -1;
    }
    if (file.size() > MaxFileBytes) {
        ShowMessage(QStringLiteral("The file ") + AFilename + QStringLiteral(" is too large for notes."));
        return -1;
    }
    const QByteArray bytes = file.readAll();
    if (Rtf::looksLikeRtf(bytes)) {
        QTextDocument read;
        const Rtf::ReadResult r = Rtf::read(bytes, read);
        if (!r.ok) {
            ShowMessage(QStringLiteral("The file ") + AFilename + QStringLiteral(" cannot be read: ") + r.error);
            return -1;
        }
        // Through the editor's own document, so the change counts as one the user made.
        m_readContent.clear();
        m_lost = r.lost;
        m_lossTold = false;
        Rtf::read(bytes, *Editor->document());
    } else {
        m_readContent.clear();
        m_lost.clear();
        Editor->setPlainText(textOfFile(bytes));
    }
    Editor->document()->setModified(true);
    tellWhatIsLost();
    return 0;
}

int TRichTextEditor::SaveToFile(const QString& AFilename)
{
    QString error;
    if (writeFileAtomically(AFilename, Rtf::write(*Editor->document()), &error) != 0) {
        ShowMessage(QStringLiteral("The file ") + AFilename + QStringLiteral(" cannot be written: ") + error);
        return -1;
    }
    return 0;
}

void TRichTextEditor::Load()
{
    const QString name = dialogs().openFile(QStringLiteral("Load text"), QStringLiteral("Text files|*.txt; *.rtf"));
    if (!name.isEmpty())
        LoadFromFile(name);
}

void TRichTextEditor::Save()
{
    const QString name = dialogs().saveFile(QStringLiteral("Save text"), QStringLiteral("Rich Text files|*.rtf"),
                                            QStringLiteral("rtf"));
    if (!name.isEmpty())
        SaveToFile(name);
}

void TRichTextEditor::Clear()
{
    if (MessageDlg(QStringLiteral("Clear text?"), mtConfirmation, mbYesNo) == mrYes) {
        m_readContent.clear();
        m_lost.clear(); // the user asked for everything to go
        Editor->clear();
        Editor->document()->setModified(true);
    }
}

QTextCursor TRichTextEditor::CurrText() const
{
    QTextCursor c = Editor->textCursor();
    if (!c.hasSelection())
        c.select(QTextCursor::WordUnderCursor);
    return c;
}

void TRichTextEditor::mergeCurrent(const QTextCharFormat& format)
{
    QTextCursor c = CurrText();
    if (c.hasSelection())
        c.mergeCharFormat(format);
    // What is typed next looks the same.
    if (!Editor->textCursor().hasSelection()) {
        QTextCharFormat typing = Editor->currentCharFormat();
        typing.merge(format);
        Editor->setCurrentCharFormat(typing);
    }
}

void TRichTextEditor::applySizeText()
{
    if (fUpdating)
        return;
    bool ok = false;
    int size = E_FontSize->text().trimmed().toInt(&ok);
    if (!ok)
        size = 10;
    FontSize = size;
    QTextCharFormat fmt;
    fmt.setFontPointSize(qBound(1, size, 1638));
    mergeCurrent(fmt);
}

void TRichTextEditor::FormatButtonClick(QToolButton* button)
{
    if (fUpdating || !button)
        return;
    QList<QToolButton*> aligns{B_Left, B_Center, B_Right, B_Block};
    if (aligns.contains(button)) {
        // One of the four at most is down.
        for (QToolButton* b : aligns)
            if (b != button)
                b->setChecked(false);
        Qt::Alignment align = Qt::AlignLeft;
        if (B_Center->isChecked())
            align = Qt::AlignHCenter;
        else if (B_Right->isChecked())
            align = Qt::AlignRight;
        else if (B_Block->isChecked())
            align = Qt::AlignJustify;
        Editor->setAlignment(align);
        return;
    }
    QTextCharFormat fmt;
    if (button == B_Underline)
        fmt.setFontUnderline(B_Underline->isChecked());
    else if (button == B_Italic)
        fmt.setFontItalic(B_Italic->isChecked());
    else if (button == B_Bold)
        fmt.setFontWeight(B_Bold->isChecked() ? QFont::Bold : QFont::Normal);
    if (button == B_Bullet) {
        QTextCursor c = Editor->textCursor();
        if (B_Bullet->isChecked()) {
            if (!c.currentList())
                c.createList(QTextListFormat::ListDisc);
        } else if (QTextList* list = c.currentList()) {
            list->remove(c.block());
            QTextBlockFormat plain = c.blockFormat();
            plain.setIndent(0);
            c.setBlockFormat(plain);
        }
        return;
    }
    mergeCurrent(fmt);
}

void TRichTextEditor::LinkButtonClick()
{
    if (fUpdating)
        return;
    QTextCursor c = CurrText();
    QTextCharFormat fmt;
    if (B_Link->isChecked()) {
        QString target = c.selectedText().trimmed();
        if (target.startsWith(QStringLiteral("www."), Qt::CaseInsensitive))
            target.prepend(QStringLiteral("http://"));
        fmt.setAnchor(true);
        fmt.setAnchorHref(target);
        fmt.setFontUnderline(true);
        fmt.setForeground(QColor(0, 0, 255));
    } else {
        fmt.setAnchor(false);
        fmt.setAnchorHref(QString());
        fmt.setFontUnderline(false);
        fmt.clearForeground();
    }
    if (c.hasSelection()) {
        if (!B_Link->isChecked()) {
            // Clearing means taking the link's look away, not merging an empty one.
            QTextCharFormat cleared = c.charFormat();
            cleared.setAnchor(false);
            cleared.clearProperty(QTextFormat::AnchorHref);
            cleared.setFontUnderline(false);
            cleared.clearForeground();
            c.setCharFormat(cleared);
        } else {
            c.mergeCharFormat(fmt);
        }
    }
}

void TRichTextEditor::InsertImageClick()
{
    const QString name = dialogs().openFile(QStringLiteral("Load image"), QStringLiteral("Image files|*.bmp; *.jpg"));
    if (!name.isEmpty())
        LoadImage(name);
}

void TRichTextEditor::SelectionChanged()
{
    fUpdating = true;
    const QTextCharFormat f = Editor->currentCharFormat();
    B_Bold->setChecked(f.fontWeight() >= QFont::Bold);
    B_Italic->setChecked(f.fontItalic());
    B_Underline->setChecked(f.fontUnderline());
    B_Bullet->setChecked(Editor->textCursor().currentList() != nullptr);
    B_Link->setChecked(f.isAnchor());
    const int size = f.fontPointSize() > 0 ? qRound(f.fontPointSize()) : FontSize;
    E_FontSize->setText(QString::number(size));
    UpDown->setValue(qBound(6, size, 100));
    const QStringList families = f.fontFamilies().toStringList();
    const QString family = families.isEmpty() ? mapFace(FontName) : families.first();
    const int at = CB_FontName->findText(family, Qt::MatchFixedString);
    if (at >= 0)
        CB_FontName->setCurrentIndex(at);
    B_Color->setColor(f.foreground().style() != Qt::NoBrush ? TColorPickerButton::fromQColor(f.foreground().color())
                                                            : FontColor);
    // Justified text leaves the alignment buttons as they are.
    const Qt::Alignment align = Editor->alignment() & Qt::AlignHorizontal_Mask;
    if (align != Qt::AlignJustify) {
        B_Left->setChecked(align == Qt::AlignLeft || align == Qt::AlignLeading);
        B_Center->setChecked(align == Qt::AlignHCenter);
        B_Right->setChecked(align == Qt::AlignRight || align == Qt::AlignTrailing);
        B_Block->setChecked(false);
    }
    fUpdating = false;
}

void TRichTextEditor::UpdatePopupItems()
{
    const bool readOnly = Editor->isReadOnly();
    const bool hasText = !Editor->document()->isEmpty();
    const QMimeData* clip = QApplication::clipboard() ? QApplication::clipboard()->mimeData() : nullptr;
    PM_Copy->setEnabled(Editor->textCursor().hasSelection());
    PM_Paste->setEnabled(clip && clip->hasText() && !readOnly);
    PM_SelectAll->setEnabled(hasText);
    PM_Print->setEnabled(hasText);
    for (QAction* a : {PM_Clear, PM_Load, PM_Save})
        a->setEnabled(!readOnly);
}

void TRichTextEditor::PopupItemClick(int tag)
{
    switch (tag) {
    case 1:
        Editor->copy();
        break;
    case 2:
        Editor->paste();
        break;
    case 3:
        Editor->selectAll();
        break;
    case 4:
        Clear();
        break;
    case 5:
        Load();
        break;
    case 6:
        Save();
        break;
    default:
        break;
    }
}

void TRichTextEditor::PrintContent()
{
    QPrinter printer;
    QPrintDialog dialog(&printer, this);
    if (dialog.exec() == QDialog::Accepted)
        Editor->document()->print(&printer);
}

bool TRichTextEditor::ShowControls() const
{
    return TopPanel->isVisibleTo(const_cast<TRichTextEditor*>(this)) || !TopPanel->isHidden();
}

void TRichTextEditor::setShowControls(bool show)
{
    for (QWidget* w : std::initializer_list<QWidget*>{TopPanel, CB_FontName, E_FontSize, UpDown})
        w->setVisible(show);
}

void TRichTextEditor::ContentChanged()
{
    if (m_loading)
        return;
    if (Editor->document()->isModified())
        tellWhatIsLost();
    emit OnContentChanged();
}

// Once the notes change they are saved as the editor writes them; what it could not take goes
// then, and the user hears of it at the first change rather than finding it gone.
void TRichTextEditor::tellWhatIsLost()
{
    if (m_lost.isEmpty() || m_lossTold)
        return;
    m_lossTold = true;
    ShowMessage(QStringLiteral("These notes contain ") + m_lost.join(QStringLiteral(", "))
                + QStringLiteral(", which the editor cannot show. They will be left out when the changed notes are saved."));
}
