// The image buffer: sizing, sub-images, pixel access, copying, palettes and drawing tools.
#include "image/TFastDIB.h"
