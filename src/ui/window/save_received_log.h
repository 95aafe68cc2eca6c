#pragma once

class QWidget;

namespace korvantis {
struct Workspace;
}

namespace korvantis::ui {

// File > "Save received log as…": whether the window holds a log that came
// down a pipe, and a non-blocking dialog that writes what was received of it
// to a chosen file (replaced in one step, as Export does); a failure is told
// in a message box.
bool hasReceivedLog(const Workspace& workspace);
void chooseFileForReceivedLog(QWidget* owner, Workspace& workspace);

}  // namespace korvantis::ui
