// The positioned objects of a project: TJEXObject and its small descendants (paths, index and
// measurement points, anchor line and points, draw objects) share this pair.
// Owned lists hold unique_ptr; links to objects owned elsewhere are ObjectRefs that read as null
// once their target is gone.
#pragma once

#include <QPoint>
#include <QPointer>
#include <QString>

#include <memory>
#include <vector>

class QObject;
class DeviceContext;
class TreeNode;
struct ViewTransform;

class TJEXObject;

// A non-owning link to a model object that reads as null once the object has been freed, so a
// draw object or control point can never reach a path or image that was deleted under it.
template <class T>
class ObjectRef {
public:
    ObjectRef() = default;
    ObjectRef(T* target) { reset(target); }
    ObjectRef& operator=(T* target)
    {
        reset(target);
        return *this;
    }

    T* get() const { return m_alive.expired() ? nullptr : m_target; }
    operator T*() const { return get(); }
    T* operator->() const { return get(); }
    T& operator*() const { return *get(); }

private:
    void reset(T* target);

    T* m_target = nullptr;
    std::weak_ptr<const void> m_alive;
};

// Base of every positioned object. The two Draw slots are abstract: a class that does not
// override a slot throws when it is called.
class TJEXObject {
public:
    TJEXObject() = default;
    TJEXObject(const TJEXObject&) = delete;
    TJEXObject& operator=(const TJEXObject&) = delete;
    virtual ~TJEXObject();

    // Draws onto a device context in the screen pixels of the view `f` and returns the object's
    // screen point.
    virtual QPoint Draw(const ViewTransform* f, DeviceContext* ACanvas);
    virtual QPoint Draw(const ViewTransform* f, DeviceContext* ACanvas, bool Pith);

    QPoint Pos; // canvas pixels
    QString Name;
    QString Comment;
    bool expanded = false;
    bool selected = false;
    bool FirstVisible = false; // set on points from the older file format; nothing reads it
    bool SapWood = false;
    double distance = 0.0; // pixels to the previous point of the path; double keeps every digit a canvas distance has
    TreeNode* Node = nullptr; // measurement-tree node showing the object; set and cleared by the tree window

    // Liveness token behind ObjectRef; made on first use so unreferenced points cost nothing.
    std::weak_ptr<const void> lifeToken() const;

private:
    mutable std::shared_ptr<const void> m_lifeToken;
};

template <class T>
void ObjectRef<T>::reset(T* target)
{
    m_target = target;
    if (target)
        m_alive = static_cast<const TJEXObject*>(target)->lifeToken();
    else
        m_alive.reset();
}

class TIndex;
class TMeasurement;
class TAnchorPoint;

class TPath : public TJEXObject {
public:
    TPath();
    ~TPath() override;

    std::vector<std::unique_ptr<TIndex>> ObjectList; // index points in path order
    bool visible = true;
    QString GUID; // "{XXXXXXXX-XXXX-XXXX-XXXX-XXXXXXXXXXXX}", the key the TCP link names a path by
    bool Pith = false; // the path starts at the pith
};

class TIndex : public TJEXObject {
public:
    TIndex();
    ~TIndex() override;

    QPoint Draw(const ViewTransform* f, DeviceContext* ACanvas) override;
    QPoint Draw(const ViewTransform* f, DeviceContext* ACanvas, bool Pith) override; // the path's first point at the pith

    ObjectRef<TPath> Path;
    std::vector<std::unique_ptr<TMeasurement>> ObjectList; // measurement points up to the next index point
};

// One ring border.
class TMeasurement : public TJEXObject {
public:
    using TJEXObject::Draw;
    QPoint Draw(const ViewTransform* f, DeviceContext* ACanvas) override;

    ObjectRef<TPath> Path;
    ObjectRef<TIndex> Index; // the index point it follows
};

class TAnchorLine : public TJEXObject {
public:
    TAnchorLine();
    ~TAnchorLine() override;

    using TJEXObject::Draw;
    QPoint Draw(const ViewTransform* f, DeviceContext* ACanvas) override;

    int Count() const;
    void Clear();

    std::vector<std::unique_ptr<TAnchorPoint>> AnchorPoints;
};

class TAnchorPoint : public TJEXObject {
public:
    using TJEXObject::Draw;
    QPoint Draw(const ViewTransform* f, DeviceContext* ACanvas) override;

    ObjectRef<TAnchorLine> AnchorLine;
    bool Active = false;
};

class TDrawObject : public TJEXObject {
public:
    ObjectRef<TPath> Path;     // may be none
    QPointer<QObject> MDIForm; // the image window holding the object
};

class TArrow : public TDrawObject {
public:
    using TJEXObject::Draw;
    QPoint Draw(const ViewTransform* f, DeviceContext* ACanvas) override;

    QPoint x1; // base, canvas pixels
    QPoint x2; // tip, canvas pixels
    int Color = 0; // $00BBGGRR
    int Width = 0; // canvas pixels; also sets the caption size
    int TipWidth = 0;
    int BaseWidth = 0;
    quint8 TipType = 0;  // 0 none, 1 dot, 2 bar, 3 arrow head
    quint8 BaseType = 0; // same codes
    QString caption;
    bool Selected = false; // the draw-object editor's own flag, apart from TJEXObject::selected
};

class TRectangle : public TDrawObject {
public:
    using TJEXObject::Draw;
    QPoint Draw(const ViewTransform* f, DeviceContext* ACanvas) override;

    QPoint x1; // corners in any order, canvas pixels
    QPoint x2;
    int PColor = 0; // outline, $00BBGGRR
    int BColor = 0; // fill, $00BBGGRR
    bool Selected = false; // the draw-object editor's own flag, apart from TJEXObject::selected
    bool Transparent = false;
    int PWidth = 0; // canvas pixels
};
