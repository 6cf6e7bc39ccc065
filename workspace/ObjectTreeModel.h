// Tree nodes that each carry one model object, and the item model over them that the project
// tool window's two trees share. A node never owns its object and reads as empty once the object
// has been freed, so a tree left showing a deleted point shows nothing rather than freed memory.
#pragma once

#include <QAbstractItemModel>
#include <QColor>
#include <QIcon>
#include <QPointer>

#include <memory>
#include <vector>

class TJEXObject;

// A 16 x 16 icon for the trees' image lists: a shape ('s' square, 'f' filled square, 'l' line,
// 'x' cross, 'a' arrow, 'r' rectangle, 'd' document, 'o' circle) in a colour.
QIcon TreeIcon(char shape, QColor color);

// One row of a tree: its children, and the one object it shows.
class TreeNode {
public:
    TreeNode* parent() const { return m_parent; }
    int row() const { return m_row; }
    int childCount() const { return int(m_children.size()); }
    TreeNode* child(int i) const { return m_children[size_t(i)].get(); }
    int level() const; // 0 for a top-level row

private:
    friend class ObjectTreeModel;
    TreeNode* m_parent = nullptr;
    int m_row = 0;
    std::vector<std::unique_ptr<TreeNode>> m_children;
    TJEXObject* m_object = nullptr;
    std::weak_ptr<const void> m_alive; // expires with m_object
    QPointer<QObject> m_window;        // a node may show a window (the image tree's root row)
};

// The rows are rebuilt as a whole: a rebuild runs between beginRebuild and endRebuild and adds
// nodes with AddChild. Subclasses give the columns and the data.
class ObjectTreeModel : public QAbstractItemModel {
public:
    explicit ObjectTreeModel(QObject* parent = nullptr);
    ~ObjectTreeModel() override;

    // Empties the tree, for a rebuild that ends with endRebuild. Objects whose Node points into
    // this tree lose that link.
    void beginRebuild();
    void endRebuild();
    void clear() { beginRebuild(); endRebuild(); }
    // A new last child of `parent` (none: a top-level row); only between beginRebuild and endRebuild.
    TreeNode* AddChild(TreeNode* parent);

    void SetNodeObject(TreeNode* node, TJEXObject* object);
    void SetNodeWindow(TreeNode* node, QObject* window);
    // The node's object; none for none, for a node without one and once the object is freed.
    TJEXObject* GetNodeObject(const TreeNode* node) const;
    QObject* GetNodeWindow(const TreeNode* node) const;
    template <class T>
    T* GetNodeObjectAs(const TreeNode* node) const
    {
        return dynamic_cast<T*>(GetNodeObject(node));
    }

    bool owns(const TreeNode* node) const; // the node is a row of this tree
    TreeNode* nodeFromIndex(const QModelIndex& index) const; // none for an invalid index
    QModelIndex indexFromNode(const TreeNode* node, int column = 0) const;
    // The top-level rows, and every node in tree order (parents before their children).
    const TreeNode* root() const { return &m_root; }
    std::vector<TreeNode*> allNodes() const;
    // The first node showing the object, in tree order; none when none does.
    TreeNode* findNode(const TJEXObject* object) const;

    // Repaints every cell of the node's row and of the rows below it, in time linear in the rows.
    void refreshNode(const TreeNode* node);
    void refreshAll();

    QModelIndex index(int row, int column, const QModelIndex& parent = QModelIndex()) const override;
    QModelIndex parent(const QModelIndex& child) const override;
    int rowCount(const QModelIndex& parent = QModelIndex()) const override;

private:
    void unlinkObjects(TreeNode* node);
    void refreshRowsBelow();

    TreeNode m_root;
    bool m_rebuilding = false;
};
