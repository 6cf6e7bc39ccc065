// Cells of the image tree.
#include "workspace/ImageTreeModel.h"

#include "image/TFastDIB.h"
#include "platform/Delphi.h"
#include "project/TJEXProject.h"
#include "project/TStitchObject.h"
#include "workspace/TF_SMDI.h"

#include <QFileInfo>

#include <array>
#include <cstdlib>

ImageTreeModel::ImageTreeModel(QObject* parent)
    : ObjectTreeModel(parent)
{
}

QIcon ImageTreeModel::IL_SO(int slot)
{
    static const std::array<QIcon, 14> icons = [] {
        std::array<QIcon, 14> a;
        a[0] = TreeIcon('d', QColor(0, 96, 160));   // image file present
        a[1] = TreeIcon('d', QColor(220, 0, 0));    // image file missing
        a[2] = TreeIcon('d', QColor(0, 128, 0));    // save image as
        a[4] = TreeIcon('f', QColor(0, 160, 0));    // pixels loaded
        a[5] = TreeIcon('o', QColor(0, 0, 220));    // displayed
        a[6] = TreeIcon('r', QColor(128, 0, 128));  // embedded
        a[7] = TreeIcon('x', QColor(220, 120, 0));  // changed
        a[8] = TreeIcon('f', QColor(220, 0, 0));    // project changed
        a[9] = TreeIcon('s', QColor(0, 96, 160));   // project saved
        a[10] = TreeIcon('x', QColor(160, 0, 0));   // remove
        a[11] = TreeIcon('o', QColor(0, 96, 160));  // revert
        a[12] = TreeIcon('l', QColor(0, 0, 160));   // to front
        a[13] = TreeIcon('l', QColor(96, 96, 96));  // to back
        return a;
    }();
    return slot >= 0 && slot < int(icons.size()) ? icons[size_t(slot)] : QIcon();
}

TF_SMDI* ImageTreeModel::windowOf(const TreeNode* node) const
{
    return qobject_cast<TF_SMDI*>(GetNodeWindow(node));
}

TStitchObject* ImageTreeModel::imageOf(const TreeNode* node) const
{
    return GetNodeObjectAs<TStitchObject>(node);
}

int ImageTreeModel::IconSlot(const TreeNode* node) const
{
    if (const TF_SMDI* w = windowOf(node))
        return w->Project && w->Project->Changed ? 8 : 9;
    const TStitchObject* so = imageOf(node);
    if (!so)
        return -1;
    if (so->ImageChanged)
        return 7;
    if (so->Embedded)
        return 6;
    return QFileInfo::exists(so->filename) ? 0 : 1;
}

int ImageTreeModel::StateIconSlot(const TreeNode* node) const
{
    const TStitchObject* so = imageOf(node);
    if (!so)
        return -1;
    if (so->Displayed)
        return 5;
    return so->Loaded ? 4 : -1;
}

QString ImageTreeModel::Hint(const TreeNode* node) const
{
    if (const TF_SMDI* w = windowOf(node))
        return w->Project ? w->Project->Caption() : QString();
    const TStitchObject* so = imageOf(node);
    if (!so)
        return {};
    const qint64 w = so->FD ? so->FD->Info.Header.Width : 0;
    const qint64 h = so->FD ? std::llabs(so->FD->Info.Header.Height) : 0;
    const double mb = double(w) * double(h) * 3.0 / 1048576.0;
    return so->filename + QStringLiteral("\n") + QString::number(w) + QStringLiteral(" x ") + QString::number(h)
        + QStringLiteral(" x 24\n") + FloatToStrF(mb, ffGeneral, 4, 0) + QStringLiteral(" MB");
}

int ImageTreeModel::columnCount(const QModelIndex& parent) const
{
    return parent.column() > 0 ? 0 : ColumnCount;
}

QVariant ImageTreeModel::data(const QModelIndex& index, int role) const
{
    const TreeNode* node = nodeFromIndex(index);
    if (!node)
        return {};
    const TF_SMDI* w = windowOf(node);
    const TStitchObject* so = imageOf(node);
    if (!w && !so)
        return {};
    switch (role) {
    case Qt::DisplayRole:
        if (index.column() == ColName) {
            if (w)
                return w->Project ? w->Project->Caption() : QString();
            return so->Embedded ? so->filename : ExtractFileName(so->filename);
        }
        if (index.column() == ColSize && so)
            return QString::number(so->Width) + QStringLiteral("x") + QString::number(so->Height);
        return {};
    case Qt::DecorationRole: {
        const int slot = index.column() == ColName ? IconSlot(node) : index.column() == ColState ? StateIconSlot(node) : -1;
        const QIcon icon = IL_SO(slot);
        return icon.isNull() ? QVariant() : QVariant(icon);
    }
    case Qt::ToolTipRole:
        return Hint(node);
    default:
        return {};
    }
}

Qt::ItemFlags ImageTreeModel::flags(const QModelIndex& index) const
{
    return nodeFromIndex(index) ? Qt::ItemIsEnabled | Qt::ItemIsSelectable : Qt::NoItemFlags;
}

QVariant ImageTreeModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal)
        return {};
    if (role == Qt::DisplayRole)
        return section == ColName ? QStringLiteral("Project") : QString();
    if (role == Qt::DecorationRole && section == ColState)
        return IL_SO(4);
    return {};
}
