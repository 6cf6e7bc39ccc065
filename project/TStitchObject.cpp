// An image starts with three empty buffers that the image loader sizes.
#include "project/TStitchObject.h"

#include "image/TFastDIB.h"

TStitchObject::TStitchObject()
    : FD(std::make_unique<TFastDIB>())
    , FT(std::make_unique<TFastDIB>())
    , FZ(std::make_unique<TFastDIB>())
{
}

TStitchObject::~TStitchObject() = default;
