// The log window: a tree of the log's entries with a menu to save or clear them.
#include "shell/TF_ErrorLog.h"

#include "platform/Dialogs.h"
#include "workspace/HelpersWidgets.h"

#include <QAction>
#include <QApplication>
#include <QHeaderView>
#include <QMenu>
#include <QPainter>
#include <QStyle>
#include <QStyledItemDelegate>
#include <QTreeWidget>
#include <QVBoxLayout>

TF_ErrorLog* F_ErrorLog = nullptr;

namespace {

enum Column { IconColumn, DateColumn, MessageColumn };

// Every log window alive; each shows the whole list.
QList<TF_ErrorLog*>& openLogs()
{
    static QList<TF_ErrorLog*> logs;
    return logs;
}

// Cells are painted without the selection colour, with a vertical grid line on their right.
class LogCellDelegate : public QStyledItemDelegate {
public:
    using QStyledItemDelegate::QStyledItemDelegate;
    void paint(QPainter* painter, const QStyleOptionViewItem& option, const QModelIndex& index) const override
    {
        QStyleOptionViewItem plain(option);
        plain.state &= ~(QStyle::State_Selected | QStyle::State_HasFocus);
        QStyledItemDelegate::paint(painter, plain, index);
        painter->save();
        painter->setPen(option.palette.color(QPalette::Mid));
        painter->drawLine(option.rect.topRight(), option.rect.bottomRight());
        painter->restore();
    }
};

} // namespace

TF_ErrorLog::TF_ErrorLog(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint)
{
    giveWayToQuestions(this);
    setWindowTitle(QStringLiteral("Log"));
    QStyle* s = style();
    IL_Log[0] = s->standardIcon(QStyle::SP_MessageBoxCritical);
    IL_Log[2] = s->standardIcon(QStyle::SP_MessageBoxInformation);
    IL_Log[3] = s->standardIcon(QStyle::SP_MessageBoxWarning);

    createTree();
    createPopupMenu();
    resize(540, 100);

    // The log tells every window alive; installed once, by the first window.
    static const bool listening = [] {
        ErrorLog::SetListener({[](TErrorLogMessage* entry) {
                                   for (TF_ErrorLog* log : openLogs())
                                       log->appendNode(entry);
                               },
                               [] {
                                   for (TF_ErrorLog* log : openLogs())
                                       log->clearTree();
                               }});
        return true;
    }();
    Q_UNUSED(listening);
    for (const auto& entry : ErrorLog::Entries())
        appendNode(entry.get());
    openLogs().append(this);
}

TF_ErrorLog::~TF_ErrorLog()
{
    openLogs().removeAll(this);
    if (F_ErrorLog == this)
        F_ErrorLog = nullptr;
}

void TF_ErrorLog::createTree()
{
    VST_Log = new QTreeWidget(this);
    VST_Log->setObjectName(QStringLiteral("VST_Log"));
    VST_Log->setColumnCount(3);
    VST_Log->setHeaderLabels({QString(), QStringLiteral("Date/Time"), QStringLiteral("Message")});
    VST_Log->setRootIsDecorated(false);
    VST_Log->setUniformRowHeights(true);
    VST_Log->setSelectionBehavior(QAbstractItemView::SelectRows);
    VST_Log->setSelectionMode(QAbstractItemView::SingleSelection);
    VST_Log->setItemDelegate(new LogCellDelegate(VST_Log));
    VST_Log->setColumnWidth(IconColumn, 25);
    VST_Log->setColumnWidth(DateColumn, 100);
    VST_Log->setColumnWidth(MessageColumn, 411);
    VST_Log->header()->setStretchLastSection(true);
    VST_Log->setContextMenuPolicy(Qt::CustomContextMenu);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(VST_Log);
}

void TF_ErrorLog::createPopupMenu()
{
    PM_LOg = new QMenu(this);
    PM_save = PM_LOg->addAction(QStringLiteral("&Save log"));
    PM_Clear = PM_LOg->addAction(QStringLiteral("&Clear"));
    connect(PM_save, &QAction::triggered, this, &TF_ErrorLog::PM_saveClick);
    connect(PM_Clear, &QAction::triggered, this, &TF_ErrorLog::PM_ClearClick);
    connect(VST_Log, &QWidget::customContextMenuRequested, this,
            [this](const QPoint& pos) { PM_LOg->popup(VST_Log->viewport()->mapToGlobal(pos)); });
}

void TF_ErrorLog::appendNode(TErrorLogMessage* entry)
{
    auto* node = new QTreeWidgetItem;
    if (entry->AType >= 0 && entry->AType < int(IL_Log.size()))
        node->setIcon(IconColumn, IL_Log[size_t(entry->AType)]);
    node->setText(DateColumn, DateTimeText(entry->ADate));
    node->setText(MessageColumn, entry->AMessage);
    SetNodeObject(VST_Log, node, entry);
    VST_Log->addTopLevelItem(node);

    // Selecting and scrolling lay out the whole tree: done once per turn of the event loop, not
    // per message, or a burst of messages costs the square of the log's length.
    if (!m_showNewestPosted) {
        m_showNewestPosted = true;
        QMetaObject::invokeMethod(this, &TF_ErrorLog::showNewest, Qt::QueuedConnection);
    }
}

void TF_ErrorLog::showNewest()
{
    m_showNewestPosted = false;
    QTreeWidgetItem* node = VST_Log->topLevelItem(VST_Log->topLevelItemCount() - 1);
    if (!node)
        return;
    VST_Log->clearSelection();
    VST_Log->setCurrentItem(node);
    node->setSelected(true);
    VST_Log->scrollToItem(node);
    VST_Log->viewport()->update();
}

void TF_ErrorLog::clearTree()
{
    VST_Log->setUpdatesEnabled(false);
    VST_Log->clear();
    VST_Log->setUpdatesEnabled(true);
}

void TF_ErrorLog::AddLog(int AType, const QString& AMessage)
{
    ErrorLog::AddLog(AType, AMessage);
}

void TF_ErrorLog::Error(const QString& AMessage, bool DisplayErrorDialog)
{
    ErrorLog::Error(AMessage, DisplayErrorDialog);
}

const std::vector<std::unique_ptr<TErrorLogMessage>>& TF_ErrorLog::Entries()
{
    return ErrorLog::Entries();
}

void TF_ErrorLog::ClearLog()
{
    ErrorLog::ClearLog();
}

QString TF_ErrorLog::DateTimeText(const QDateTime& when)
{
    return ErrorLog::DateTimeText(when);
}

QStringList TF_ErrorLog::LogLines()
{
    return ErrorLog::LogLines();
}

int TF_ErrorLog::SaveLog(const QString& fileName)
{
    return ErrorLog::SaveLog(fileName);
}

void TF_ErrorLog::PM_saveClick()
{
    FileDialogRequest sd;
    sd.filter = QStringLiteral("Text files|*.txt");
    sd.defaultExt = QStringLiteral("txt");
    sd.overwritePrompt = true;
    const FileDialogAnswer answer = dialogs().saveFile(sd);
    if (!answer.accepted || answer.fileName().isEmpty())
        return;
    SaveLog(answer.fileName());
}

void TF_ErrorLog::PM_ClearClick()
{
    if (MessageDlg(QStringLiteral("Clear system log?"), mtConfirmation, mbYesNo) != mrYes)
        return;
    ClearLog();
}
