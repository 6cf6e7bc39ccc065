// Node bookkeeping of the object trees.
#include "workspace/ObjectTreeModel.h"

#include "project/TJEXObject.h"

#include <QPainter>
#include <QPixmap>

QIcon TreeIcon(char shape, QColor color)
{
    QPixmap pm(16, 16);
    pm.fill(Qt::transparent);
    QPainter p(&pm);
    p.setPen(QPen(color, 2));
    switch (shape) {
    case 's': p.drawRect(4, 4, 8, 8); break;
    case 'f': p.fillRect(3, 3, 10, 10, color); break;
    case 'l': p.drawLine(2, 13, 13, 2); break;
    case 'x': p.drawLine(8, 2, 8, 14); p.drawLine(2, 8, 14, 8); break;
    case 'a': p.drawLine(2, 13, 13, 2); p.drawLine(13, 2, 7, 3); p.drawLine(13, 2, 12, 8); break;
    case 'r': p.drawRect(2, 4, 12, 8); break;
    case 'd': p.drawRect(3, 1, 10, 14); p.drawLine(5, 5, 11, 5); p.drawLine(5, 9, 11, 9); break;
    case 'o': p.drawEllipse(3, 3, 10, 10); break;
    default: break;
    }
    return QIcon(pm);
}

int TreeNode::level() const
{
    int n = -1;
    for (const TreeNode* p = m_parent; p; p = p->m_parent)
        ++n;
    return n;
}

ObjectTreeModel::ObjectTreeModel(QObject* parent)
    : QAbstractItemModel(parent)
{
}

ObjectTreeModel::~ObjectTreeModel()
{
    unlinkObjects(&m_root);
}

void ObjectTreeModel::beginRebuild()
{
    Q_ASSERT(!m_rebuilding);
    beginResetModel();
    m_rebuilding = true;
    unlinkObjects(&m_root);
    m_root.m_children.clear();
}

void ObjectTreeModel::endRebuild()
{
    Q_ASSERT(m_rebuilding);
    m_rebuilding = false;
    endResetModel();
}

TreeNode* ObjectTreeModel::AddChild(TreeNode* parent)
{
    Q_ASSERT(m_rebuilding);
    TreeNode* p = parent ? parent : &m_root;
    auto node = std::make_unique<TreeNode>();
    node->m_parent = p;
    node->m_row = p->childCount();
    p->m_children.push_back(std::move(node));
    return p->m_children.back().get();
}

void ObjectTreeModel::SetNodeObject(TreeNode* node, TJEXObject* object)
{
    if (!node)
        return;
    node->m_object = object;
    if (object)
        node->m_alive = object->lifeToken();
    else
        node->m_alive.reset();
}

void ObjectTreeModel::SetNodeWindow(TreeNode* node, QObject* window)
{
    if (node)
        node->m_window = window;
}

TJEXObject* ObjectTreeModel::GetNodeObject(const TreeNode* node) const
{
    if (!node || node->m_alive.expired())
        return nullptr;
    return node->m_object;
}

QObject* ObjectTreeModel::GetNodeWindow(const TreeNode* node) const
{
    return node ? node->m_window.data() : nullptr;
}

bool ObjectTreeModel::owns(const TreeNode* node) const
{
    if (!node || node == &m_root)
        return false;
    const TreeNode* p = node;
    while (p->parent())
        p = p->parent();
    return p == &m_root;
}

TreeNode* ObjectTreeModel::nodeFromIndex(const QModelIndex& index) const
{
    if (!index.isValid() || index.model() != this)
        return nullptr;
    return static_cast<TreeNode*>(index.internalPointer());
}

QModelIndex ObjectTreeModel::indexFromNode(const TreeNode* node, int column) const
{
    if (!node || node == &m_root)
        return {};
    return createIndex(node->row(), column, const_cast<TreeNode*>(node));
}

std::vector<TreeNode*> ObjectTreeModel::allNodes() const
{
    std::vector<TreeNode*> result;
    std::vector<const TreeNode*> stack{&m_root};
    while (!stack.empty()) {
        const TreeNode* n = stack.back();
        stack.pop_back();
        if (n != &m_root)
            result.push_back(const_cast<TreeNode*>(n));
        for (int i = n->childCount() - 1; i >= 0; --i)
            stack.push_back(n->child(i));
    }
    return result;
}

TreeNode* ObjectTreeModel::findNode(const TJEXObject* object) const
{
    if (!object)
        return nullptr;
    for (TreeNode* n : allNodes())
        if (GetNodeObject(n) == object)
            return n;
    return nullptr;
}

void ObjectTreeModel::refreshNode(const TreeNode* node)
{
    if (!node || node == &m_root || columnCount() == 0)
        return;
    emit dataChanged(indexFromNode(node, 0), indexFromNode(node, columnCount() - 1));
    if (node->childCount() > 0)
        refreshRowsBelow();
}

void ObjectTreeModel::refreshAll()
{
    if (m_root.childCount() == 0 || columnCount() == 0)
        return;
    refreshRowsBelow();
}

void ObjectTreeModel::refreshRowsBelow()
{
    // A tree view answers each row's change with a walk over all rows it shows: one signal per
    // row made a path of many points cost the square of their number. One layout change has the
    // view lay out what it shows once; rows, expansion and selection stay as they are.
    emit layoutAboutToBeChanged();
    emit layoutChanged();
}

QModelIndex ObjectTreeModel::index(int row, int column, const QModelIndex& parent) const
{
    if (row < 0 || column < 0 || column >= columnCount(parent))
        return {};
    const TreeNode* p = parent.isValid() ? nodeFromIndex(parent) : &m_root;
    if (!p || row >= p->childCount())
        return {};
    return createIndex(row, column, p->child(row));
}

QModelIndex ObjectTreeModel::parent(const QModelIndex& child) const
{
    const TreeNode* n = nodeFromIndex(child);
    if (!n || !n->parent() || n->parent() == &m_root)
        return {};
    return createIndex(n->parent()->row(), 0, n->parent());
}

int ObjectTreeModel::rowCount(const QModelIndex& parent) const
{
    if (parent.column() > 0)
        return 0;
    const TreeNode* p = parent.isValid() ? nodeFromIndex(parent) : &m_root;
    return p ? p->childCount() : 0;
}

void ObjectTreeModel::unlinkObjects(TreeNode* node)
{
    for (const auto& child : node->m_children) {
        if (TJEXObject* o = GetNodeObject(child.get()); o && o->Node == child.get())
            o->Node = nullptr;
        unlinkObjects(child.get());
    }
}
