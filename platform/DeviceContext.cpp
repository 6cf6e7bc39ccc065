// GDI-shaped device contexts over QPainter; see DeviceContext.h.
#include "platform/DeviceContext.h"
