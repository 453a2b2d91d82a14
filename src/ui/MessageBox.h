#pragma once

#include <QString>

#include <functional>

// Every message of the program goes through here: a modal box with an OK
// button and the program's title. Tests replace the box with a recorder so
// that nothing blocks.
void MessageBoxShow(const QString& strText);

// A Yes/No question in the same kind of box; true for Yes. With bDefaultNo
// Enter answers No, for a question whose Yes is the risky choice.
bool MessageBoxAsk(const QString& strText, bool bDefaultNo = false);

// The message in the same box with a second button beside OK, for a way on
// from it (the window's "诊断" after a controller that did not answer); true
// when that button was pressed. A message recorder records the text and
// the box answers OK; an offer recorder, when set, answers instead.
bool MessageBoxOffer(const QString& strText, const QString& strButton);

using MessageRecorder = std::function<void(const QString&)>;
void SetMessageRecorder(MessageRecorder recorder); // empty: real boxes again
// Answers questions in tests; empty: real boxes again.
using QuestionRecorder = std::function<bool(const QString&)>;
void SetQuestionRecorder(QuestionRecorder recorder);
using OfferRecorder = std::function<bool(const QString& strText, const QString& strButton)>;
void SetOfferRecorder(OfferRecorder recorder); // empty: the message recorder or real boxes again

// Routes the messages of the Qt-free layers (database errors) here too.
void InstallMessageSink();

// True while a box is open. Work that must not run inside a box (handling a
// controller reply) waits for the box to close; the box never runs such work
// itself. Instead, whoever holds work back registers a listener here, which
// is told (and must only schedule its work) when the last box has closed.
bool IsMessageBoxOpen();
using BoxesClosedListener = std::function<void()>;
// Returns a key for RemoveBoxesClosedListener.
int AddBoxesClosedListener(BoxesClosedListener listener);
void RemoveBoxesClosedListener(int nKey);

// The program's title, used by every box and the main window.
QString ProgramTitle();
