// The real dialogs on Qt widgets, the shared button and filter rules, and the global accessor.
// File dialogs are Qt's own (not the desktop's) so filters, the preset type and the type-change
// hook behave the same on every desktop.
#include "platform/Dialogs.h"

#include <QApplication>
#include <QCheckBox>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QWindow>

#include <map>

namespace {

std::unique_ptr<Dialogs>& current()
{
    static std::unique_ptr<Dialogs> instance;
    return instance;
}

constexpr char kGivesWay[] = "jex4GivesWayToQuestions";

// Drops and restores a window's stay-on-top state as modal windows come and go. Qt tells every
// window a modal one blocks, also one shown while it is up, and tells it again when it is free.
class GiveWay : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        const bool blocked = event->type() == QEvent::WindowBlocked;
        if (blocked || event->type() == QEvent::WindowUnblocked) {
            auto* w = static_cast<QWidget*>(watched);
            if (QWindow* handle = w->windowHandle())
                handle->setFlag(Qt::WindowStaysOnTopHint, !blocked && w->windowFlags().testFlag(Qt::WindowStaysOnTopHint));
        }
        return false;
    }
};

QWidget* dialogParent()
{
    QWidget* w = QApplication::activeModalWidget();
    if (!w)
        w = QApplication::activeWindow();
    while (w && w->property(kGivesWay).toBool())
        w = w->parentWidget() ? w->parentWidget()->window() : nullptr;
    return w;
}

QString applicationTitle()
{
    return QGuiApplication::applicationDisplayName();
}

constexpr TMsgDlgBtn kAllButtons[] = {mbYes, mbNo, mbOK, mbCancel, mbAbort, mbRetry, mbIgnore, mbAll, mbNoToAll, mbYesToAll};

QString buttonCaption(TMsgDlgBtn button)
{
    switch (button) {
    case mbYes: return QStringLiteral("&Yes");
    case mbNo: return QStringLiteral("&No");
    case mbOK: return QStringLiteral("OK");
    case mbCancel: return QStringLiteral("Cancel");
    case mbAbort: return QStringLiteral("&Abort");
    case mbRetry: return QStringLiteral("&Retry");
    case mbIgnore: return QStringLiteral("&Ignore");
    case mbAll: return QStringLiteral("&All");
    case mbNoToAll: return QStringLiteral("N&o to All");
    case mbYesToAll: return QStringLiteral("Yes to &All");
    }
    return QString();
}

QMessageBox::ButtonRole buttonRole(TMsgDlgBtn button)
{
    switch (button) {
    case mbYes:
    case mbAll:
    case mbYesToAll: return QMessageBox::YesRole;
    case mbNo:
    case mbNoToAll: return QMessageBox::NoRole;
    case mbCancel:
    case mbAbort: return QMessageBox::RejectRole;
    case mbOK:
    case mbRetry:
    case mbIgnore: return QMessageBox::AcceptRole;
    }
    return QMessageBox::AcceptRole;
}

QMessageBox::Icon iconOf(TMsgDlgType type)
{
    switch (type) {
    case mtWarning: return QMessageBox::Warning;
    case mtError: return QMessageBox::Critical;
    case mtInformation: return QMessageBox::Information;
    case mtConfirmation: return QMessageBox::Question;
    case mtCustom: return QMessageBox::NoIcon;
    }
    return QMessageBox::NoIcon;
}

// The button Return presses: OK, else Yes, else Retry, else the first.
TMsgDlgBtn defaultButton(TMsgDlgButtons buttons)
{
    for (TMsgDlgBtn b : {mbOK, mbYes, mbRetry}) {
        if (buttons.contains(b))
            return b;
    }
    for (TMsgDlgBtn b : kAllButtons) {
        if (buttons.contains(b))
            return b;
    }
    return mbOK;
}

void prepareFileDialog(QFileDialog& dlg, const FileDialogRequest& request)
{
    dlg.setOption(QFileDialog::DontUseNativeDialog);
    dlg.setWindowTitle(request.title);
    if (!request.initialDir.isEmpty())
        dlg.setDirectory(request.initialDir);
    const QStringList filters = qtNameFilters(request.filter);
    if (!filters.isEmpty()) {
        dlg.setNameFilters(filters);
        dlg.selectNameFilter(filters.value(request.filterIndex - 1, filters.first()));
    }
    if (!request.fileName.isEmpty())
        dlg.selectFile(request.fileName);
}

FileDialogAnswer runFileDialog(QFileDialog& dlg)
{
    FileDialogAnswer answer;
    answer.accepted = dlg.exec() == QDialog::Accepted && !dlg.selectedFiles().isEmpty();
    if (answer.accepted) {
        answer.fileNames = dlg.selectedFiles();
        answer.filterIndex = std::max(1, static_cast<int>(dlg.nameFilters().indexOf(dlg.selectedNameFilter())) + 1);
    }
    return answer;
}

} // namespace

int modalResultOf(TMsgDlgBtn button)
{
    switch (button) {
    case mbYes: return mrYes;
    case mbNo: return mrNo;
    case mbOK: return mrOk;
    case mbCancel: return mrCancel;
    case mbAbort: return mrAbort;
    case mbRetry: return mrRetry;
    case mbIgnore: return mrIgnore;
    case mbAll: return mrAll;
    case mbNoToAll: return mrNoToAll;
    case mbYesToAll: return mrYesToAll;
    }
    return mrNone;
}

int escapeResultOf(TMsgDlgButtons buttons)
{
    if (buttons.contains(mbCancel))
        return mrCancel;
    if (buttons.contains(mbNo))
        return mrNo;
    if (buttons.contains(mbOK))
        return mrOk;
    return mrCancel;
}

QString messageDlgCaption(TMsgDlgType type)
{
    switch (type) {
    case mtWarning: return QStringLiteral("Warning");
    case mtError: return QStringLiteral("Error");
    case mtInformation: return QStringLiteral("Information");
    case mtConfirmation: return QStringLiteral("Confirm");
    case mtCustom: break;
    }
    return applicationTitle();
}

QStringList qtNameFilters(const QString& delphiFilter)
{
    QStringList result;
    const QStringList parts = delphiFilter.split(QLatin1Char('|'));
    if (delphiFilter.trimmed().isEmpty())
        return result;
    for (int i = 0; i < parts.size(); i += 2) {
        QStringList patterns;
        if (i + 1 < parts.size()) {
            for (const QString& p : parts[i + 1].split(QLatin1Char(';'))) {
                const QString pattern = p.trimmed();
                if (pattern.isEmpty())
                    continue;
                patterns << (pattern == QLatin1String("*.*") ? QStringLiteral("*") : pattern);
            }
        }
        if (patterns.isEmpty())
            patterns << QStringLiteral("*");
        result << QStringLiteral("%1 (%2)").arg(parts[i].trimmed(), patterns.join(QLatin1Char(' ')));
    }
    return result;
}

QString Dialogs::openFile(const QString& title, const QString& filter, const QString& initialDir)
{
    FileDialogRequest request;
    request.title = title;
    request.filter = filter;
    request.initialDir = initialDir;
    return openFile(request).fileName();
}

QStringList Dialogs::openFiles(const QString& title, const QString& filter, const QString& initialDir)
{
    FileDialogRequest request;
    request.title = title;
    request.filter = filter;
    request.initialDir = initialDir;
    const FileDialogAnswer answer = openFiles(request);
    return answer.accepted ? answer.fileNames : QStringList();
}

QString Dialogs::saveFile(const QString& title, const QString& filter, const QString& defaultExt,
                          const QString& initialName, int* filterIndex)
{
    FileDialogRequest request;
    request.title = title;
    request.filter = filter;
    request.defaultExt = defaultExt;
    request.fileName = initialName;
    const FileDialogAnswer answer = saveFile(request);
    if (answer.accepted && filterIndex)
        *filterIndex = answer.filterIndex;
    return answer.accepted ? answer.fileName() : QString();
}

Dialogs& dialogs()
{
    auto& instance = current();
    if (!instance)
        instance = std::make_unique<WidgetDialogs>();
    return *instance;
}

std::unique_ptr<Dialogs> setDialogs(std::unique_ptr<Dialogs> replacement)
{
    std::unique_ptr<Dialogs> previous = std::move(current());
    current() = std::move(replacement);
    return previous;
}

// --- WidgetDialogs ----------------------------------------------------------------------------

int WidgetDialogs::messageDlg(const QString& text, TMsgDlgType type, TMsgDlgButtons buttons, int /*helpCtx*/)
{
    if (buttons.isEmpty())
        buttons = TMsgDlgButtons{mbOK};
    QMessageBox box(dialogParent());
    box.setWindowTitle(messageDlgCaption(type));
    box.setIcon(iconOf(type));
    // File names in messages must never be read as markup.
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    std::map<QAbstractButton*, int> results;
    const int escape = escapeResultOf(buttons);
    for (TMsgDlgBtn b : kAllButtons) {
        if (!buttons.contains(b))
            continue;
        QPushButton* button = box.addButton(buttonCaption(b), buttonRole(b));
        results[button] = modalResultOf(b);
        if (b == defaultButton(buttons))
            box.setDefaultButton(button);
        if (modalResultOf(b) == escape)
            box.setEscapeButton(button);
    }
    box.exec();
    const auto it = results.find(box.clickedButton());
    return it == results.end() ? escape : it->second;
}

void WidgetDialogs::showMessage(const QString& text)
{
    QMessageBox box(dialogParent());
    box.setWindowTitle(applicationTitle());
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    box.addButton(QStringLiteral("OK"), QMessageBox::AcceptRole);
    box.exec();
}

bool WidgetDialogs::inputQuery(const QString& caption, const QString& prompt, QString& value)
{
    QInputDialog dlg(dialogParent());
    dlg.setWindowTitle(caption);
    dlg.setLabelText(prompt);
    dlg.setTextValue(value);
    if (dlg.exec() != QDialog::Accepted)
        return false;
    value = dlg.textValue();
    return true;
}

int WidgetDialogs::messageDlgWithCheckBox(const QString& caption, const QString& text, const QString& checkText,
                                          bool& checked)
{
    QMessageBox box(dialogParent());
    box.setWindowTitle(caption);
    box.setIcon(QMessageBox::Warning);
    box.setTextFormat(Qt::PlainText);
    box.setText(text);
    QPushButton* yes = box.addButton(buttonCaption(mbYes), QMessageBox::YesRole);
    QPushButton* no = box.addButton(buttonCaption(mbNo), QMessageBox::NoRole);
    box.setDefaultButton(yes);
    box.setEscapeButton(no);
    auto* check = new QCheckBox(checkText, &box);
    check->setChecked(checked);
    box.setCheckBox(check);
    box.exec();
    checked = check->isChecked();
    return box.clickedButton() == yes ? mrYes : mrNo;
}

FileDialogAnswer WidgetDialogs::openFile(const FileDialogRequest& request)
{
    QFileDialog dlg(dialogParent());
    prepareFileDialog(dlg, request);
    dlg.setAcceptMode(QFileDialog::AcceptOpen);
    dlg.setFileMode(QFileDialog::ExistingFile);
    return runFileDialog(dlg);
}

FileDialogAnswer WidgetDialogs::openFiles(const FileDialogRequest& request)
{
    QFileDialog dlg(dialogParent());
    prepareFileDialog(dlg, request);
    dlg.setAcceptMode(QFileDialog::AcceptOpen);
    dlg.setFileMode(QFileDialog::ExistingFiles);
    return runFileDialog(dlg);
}

FileDialogAnswer WidgetDialogs::saveFile(const FileDialogRequest& request)
{
    QFileDialog dlg(dialogParent());
    prepareFileDialog(dlg, request);
    dlg.setAcceptMode(QFileDialog::AcceptSave);
    dlg.setFileMode(QFileDialog::AnyFile);
    dlg.setDefaultSuffix(request.defaultExt);
    dlg.setOption(QFileDialog::DontConfirmOverwrite, !request.overwritePrompt);
    if (request.onTypeChange) {
        QObject::connect(&dlg, &QFileDialog::filterSelected, &dlg, [&dlg, &request](const QString& filter) {
            const int index = static_cast<int>(dlg.nameFilters().indexOf(filter)) + 1;
            const QString name = request.onTypeChange(index, dlg.selectedFiles().value(0));
            if (name.isEmpty())
                return;
            // selectFile() leaves the name field alone while it has the focus.
            if (auto* edit = dlg.findChild<QLineEdit*>(QStringLiteral("fileNameEdit")))
                edit->setText(QFileInfo(name).fileName());
            else
                dlg.selectFile(name);
        });
    }
    return runFileDialog(dlg);
}

QString WidgetDialogs::selectDirectory(const QString& title, const QString& initialDir)
{
    QFileDialog dlg(dialogParent());
    dlg.setOption(QFileDialog::DontUseNativeDialog);
    dlg.setWindowTitle(title);
    if (!initialDir.isEmpty())
        dlg.setDirectory(initialDir);
    dlg.setFileMode(QFileDialog::Directory);
    dlg.setOption(QFileDialog::ShowDirsOnly);
    if (dlg.exec() != QDialog::Accepted || dlg.selectedFiles().isEmpty())
        return QString();
    return dlg.selectedFiles().first();
}

void giveWayToQuestions(QWidget* window)
{
    if (!window || window->property(kGivesWay).toBool())
        return;
    window->setProperty(kGivesWay, true);
    window->installEventFilter(new GiveWay(window));
}

// --- Delphi-named entry points ----------------------------------------------------------------

int MessageDlg(const QString& text, TMsgDlgType type, TMsgDlgButtons buttons, int helpCtx)
{
    return dialogs().messageDlg(text, type, buttons, helpCtx);
}

void ShowMessage(const QString& text)
{
    dialogs().showMessage(text);
}

bool InputQuery(const QString& caption, const QString& prompt, QString& value)
{
    return dialogs().inputQuery(caption, prompt, value);
}

QString InputBox(const QString& caption, const QString& prompt, const QString& defaultValue)
{
    QString value = defaultValue;
    return InputQuery(caption, prompt, value) ? value : defaultValue;
}
