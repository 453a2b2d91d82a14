#pragma once

// The files the window and its dialogs write: the one output rule in the
// window's words (a dialog asks here before it writes, naming the files it
// reads) and the suffix a typed name gets.

#include "OutputRule.h"

#include <QString>
#include <QStringList>

#include <string_view>

// Why `strPath` may not be written, in Chinese, naming the file and saying
// that nothing was written.
QString OutputRefusalText(base::EOutputRefusal eRefusal, const QString& strPath);

// Whether `strPath` may be written: not the data.mdb in use, no SQLite
// database, none of `inputs`. When it may not, the window says why and
// the caller writes nothing.
bool OutputAllowed(const QString& strPath, const QStringList& inputs = {});

// A name the installer typed without the suffix gets it ("plan" becomes
// "plan.csv"), so the dialog that opens such files lists it.
QString WithSuffix(const QString& strPath, const QString& strSuffix);

// The file to write for a typed name: with the suffix, once both the name as
// typed (data.mdb, say) and the suffixed one pass OutputAllowed; empty when
// either is refused, the refusal said.
QString AllowedOutput(const QString& strTyped, const QString& strSuffix, const QStringList& inputs = {});

// Writes `text` in place of `strPath` in one step, on disk before this
// returns; when it cannot, says "<strFailure><the reason>" in the window's
// words and returns false.
bool WriteOutput(const QString& strPath, std::string_view text, const QString& strFailure);
