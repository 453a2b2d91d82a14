#pragma once

#include <QString>

#include <functional>

// Every message of the program goes through here: a modal box with an OK
// button and the program's title. Tests replace the box with a recorder so
// that nothing blocks.
void MessageBoxShow(const QString& strText);

using MessageRecorder = std::function<void(const QString&)>;
void SetMessageRecorder(MessageRecorder recorder); // empty: real boxes again

// Routes the messages of the Qt-free layers (database errors) here too.
void InstallMessageSink();

// True while a box is open. Work that must not run inside a box (handling a
// controller reply) is queued with RunOutsideMessageBox and runs, in the order
// it was queued, once the last box has closed.
bool IsMessageBoxOpen();
void RunOutsideMessageBox(std::function<void()> work);

// The program's title, used by every box and the main window.
QString ProgramTitle();
