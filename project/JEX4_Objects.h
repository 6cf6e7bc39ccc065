// The whole project model in one include.
#pragma once

#include "project/TArea.h"
#include "project/TBrushSet.h"
#include "project/TControlPoint.h"
#include "project/TJEXObject.h"
#include "project/TJEXProject.h"
#include "project/TMeasurementData.h"
#include "project/TStitchObject.h"
#include "project/TStopUhr.h"
