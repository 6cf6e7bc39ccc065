// Cells of the measurement tree.
#include "workspace/MeasurementTreeModel.h"

#include "platform/Delphi.h"
#include "project/PathDistances.h"
#include "project/Settings.h"
#include "project/TJEXObject.h"
#include "workspace/TF_SMDI.h"

#include <array>

namespace {

// The path a row belongs to, for its text colour; none for anchor and draw-object rows.
const TPath* owningPath(const TJEXObject* o)
{
    if (auto* p = dynamic_cast<const TPath*>(o))
        return p;
    if (auto* i = dynamic_cast<const TIndex*>(o))
        return i->Path.get();
    if (auto* m = dynamic_cast<const TMeasurement*>(o))
        return m->Path.get();
    return nullptr;
}

} // namespace

MeasurementTreeModel::MeasurementTreeModel(QObject* parent)
    : ObjectTreeModel(parent)
{
}

QIcon MeasurementTreeModel::IL(int slot)
{
    static const std::array<QIcon, 14> icons = [] {
        std::array<QIcon, 14> a;
        a[0] = TreeIcon('l', QColor(0, 0, 160));
        a[1] = TreeIcon('f', QColor(0, 0, 255));
        a[2] = TreeIcon('s', QColor(255, 0, 0));
        a[3] = TreeIcon('l', QColor(0, 160, 0));
        a[4] = TreeIcon('x', QColor(160, 0, 0));
        a[5] = TreeIcon('d', QColor(64, 64, 64));
        a[6] = TreeIcon('f', QColor(0, 0, 160));
        a[7] = TreeIcon('r', QColor(200, 160, 0));
        a[8] = TreeIcon('a', QColor(200, 160, 0));
        a[10] = TreeIcon('d', QColor(0, 96, 160));
        a[11] = TreeIcon('l', QColor(128, 0, 128));
        a[12] = TreeIcon('x', QColor(128, 0, 128));
        a[13] = TreeIcon('o', QColor(0, 96, 160));
        return a;
    }();
    return slot >= 0 && slot < int(icons.size()) ? icons[size_t(slot)] : QIcon();
}

int MeasurementTreeModel::IconSlot(const TreeNode* node) const
{
    const TJEXObject* o = GetNodeObject(node);
    if (auto* p = dynamic_cast<const TPath*>(o)) {
        const TF_SMDI* w = window();
        return w && w->CurrentPath.get() == p ? 3 : 0;
    }
    if (dynamic_cast<const TIndex*>(o))
        return 1;
    if (dynamic_cast<const TMeasurement*>(o))
        return 2;
    if (dynamic_cast<const TArrow*>(o))
        return 8;
    if (dynamic_cast<const TRectangle*>(o))
        return 7;
    if (dynamic_cast<const TAnchorLine*>(o))
        return 11;
    if (dynamic_cast<const TAnchorPoint*>(o))
        return 12;
    return -1;
}

int MeasurementTreeModel::columnCount(const QModelIndex& parent) const
{
    return parent.column() > 0 ? 0 : ColumnCount;
}

QString MeasurementTreeModel::cellText(const TreeNode* node, int column) const
{
    const TJEXObject* o = GetNodeObject(node);
    if (!o)
        return {};
    switch (column) {
    case ColName:
        if (auto* line = dynamic_cast<const TAnchorLine*>(o))
            return line->Name + QStringLiteral(" [") + QString::number(line->Count()) + QStringLiteral("]");
        if (dynamic_cast<const TAnchorPoint*>(o))
            return QStringLiteral("Point ") + QString::number(node->row() + 1);
        return o->Name;
    case ColComment:
        return o->Comment;
    case ColDistance: {
        if (!dynamic_cast<const TMeasurement*>(o))
            return {};
        const TF_SMDI* w = window();
        const double value = w ? PixelsToUnit(o->distance, SettingUnits, w->DPI) : 0.0;
        if (value == 0.0)
            return {};
        return FloatToStrF(value, ffFixed, 4, SettingDigits);
    }
    case ColCoordinates:
        return QString::number(o->Pos.x()) + QStringLiteral("/") + QString::number(o->Pos.y());
    default:
        return {};
    }
}

QVariant MeasurementTreeModel::data(const QModelIndex& index, int role) const
{
    const TreeNode* node = nodeFromIndex(index);
    const TJEXObject* o = GetNodeObject(node);
    if (!o)
        return {};
    switch (role) {
    case Qt::DisplayRole:
        return cellText(node, index.column());
    case Qt::EditRole:
        return index.column() == ColComment ? o->Comment : o->Name;
    case Qt::DecorationRole:
        if (index.column() == ColName) {
            const QIcon icon = IL(IconSlot(node));
            if (!icon.isNull())
                return icon;
        }
        return {};
    case Qt::ForegroundRole: {
        const TPath* path = owningPath(o);
        if (path && !path->visible)
            return QColor(192, 192, 192);
        return QColor(Qt::black);
    }
    case Qt::CheckStateRole:
        if (index.column() != ColName)
            return {};
        if (auto* p = dynamic_cast<const TPath*>(o))
            return p->visible ? Qt::Checked : Qt::Unchecked;
        if (auto* a = dynamic_cast<const TAnchorPoint*>(o))
            return a->Active ? Qt::Checked : Qt::Unchecked;
        return {};
    default:
        return {};
    }
}

bool MeasurementTreeModel::isEditable(const TreeNode* node, int column) const
{
    if (!window())
        return false;
    const TJEXObject* o = GetNodeObject(node);
    if (column == ColName)
        return dynamic_cast<const TPath*>(o) != nullptr;
    // Anchor points and draw objects take their comments through the comment box only.
    if (column == ColComment)
        return dynamic_cast<const TPath*>(o) || dynamic_cast<const TIndex*>(o) || dynamic_cast<const TMeasurement*>(o);
    return false;
}

Qt::ItemFlags MeasurementTreeModel::flags(const QModelIndex& index) const
{
    const TreeNode* node = nodeFromIndex(index);
    if (!node)
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable;
    const TJEXObject* o = GetNodeObject(node);
    if (index.column() == ColName && (dynamic_cast<const TPath*>(o) || dynamic_cast<const TAnchorPoint*>(o)))
        f |= Qt::ItemIsUserCheckable;
    if (isEditable(node, index.column()))
        f |= Qt::ItemIsEditable;
    return f;
}

bool MeasurementTreeModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    TreeNode* node = nodeFromIndex(index);
    TJEXObject* o = GetNodeObject(node);
    if (!o)
        return false;
    if (role == Qt::CheckStateRole && index.column() == ColName) {
        const bool ticked = value.toInt() == Qt::Checked;
        if (auto* p = dynamic_cast<TPath*>(o))
            p->visible = ticked;
        else if (auto* a = dynamic_cast<TAnchorPoint*>(o))
            a->Active = ticked;
        else
            return false;
        refreshNode(node); // the path's rows change colour with it
        if (onChecked)
            onChecked(o);
        return true;
    }
    if (role == Qt::EditRole && isEditable(node, index.column())) {
        if (index.column() == ColName)
            o->Name = value.toString();
        else
            o->Comment = value.toString();
        emit dataChanged(index, index);
        if (onEdited)
            onEdited(o, index.column());
        return true;
    }
    return false;
}

QVariant MeasurementTreeModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return {};
    static const char* const headers[ColumnCount] = {"Measurement", "Comment", "Distance", "Coordinates"};
    return section >= 0 && section < ColumnCount ? QString::fromLatin1(headers[section]) : QVariant();
}
