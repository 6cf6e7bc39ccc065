// Construction, destruction and the abstract Draw slots of the positioned objects.
#include "project/TJEXObject.h"

#include "project/Helpers.h"

#include <stdexcept>

namespace {

[[noreturn]] void abstractError()
{
    throw std::logic_error("Abstract Error");
}

} // namespace

TJEXObject::~TJEXObject() = default;

QPoint TJEXObject::Draw(const ViewTransform*, DeviceContext*)
{
    abstractError();
}

QPoint TJEXObject::Draw(const ViewTransform*, DeviceContext*, bool)
{
    abstractError();
}

std::weak_ptr<const void> TJEXObject::lifeToken() const
{
    if (!m_lifeToken)
        m_lifeToken = std::make_shared<char>(0);
    return m_lifeToken;
}

TPath::TPath()
    : GUID(NewGUIDString())
{
    expanded = true;
}

TPath::~TPath() = default;

TIndex::TIndex()
{
    expanded = true;
}

TIndex::~TIndex() = default;

TAnchorLine::TAnchorLine()
{
    Name = QStringLiteral("Anchor points");
}

TAnchorLine::~TAnchorLine()
{
    Clear();
}

QPoint TAnchorLine::Draw(const ViewTransform*, DeviceContext*)
{
    return QPoint();
}

int TAnchorLine::Count() const
{
    return int(AnchorPoints.size());
}

void TAnchorLine::Clear()
{
    AnchorPoints.clear();
}
