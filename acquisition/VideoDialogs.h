// The dialogs a video device offers in place of its own property pages: its picture controls
// (changed at once, taken back by Cancel) and the choice of its capture format.
#pragma once

#include <QString>

class QWidget;
class TVideoSample;

// True when the user closed it with OK; Cancel restores the values it found.
bool ShowVideoProcAmpDialog(QWidget* owner, TVideoSample& graph, const QString& caption);
// The chosen line of the format list, or -1 when cancelled or the list is empty.
int ShowVideoFormatDialog(QWidget* owner, const TVideoSample& graph);
