#include "OutputFiles.h"

#include "Database.h"
#include "FileSystem.h"
#include "MessageBox.h"
#include "Utf8Path.h"
#include "Words.h"

QString OutputRefusalText(base::EOutputRefusal eRefusal, const QString& strPath) {
    QString strWhy;
    switch (eRefusal) {
    case base::EOutputRefusal::LibraryInUse:
        strWhy = QStringLiteral("这是正在使用的代码库data.mdb");
        break;
    case base::EOutputRefusal::Database:
        strWhy = QStringLiteral("这是一个数据库文件");
        break;
    case base::EOutputRefusal::Input:
        strWhy = QStringLiteral("这是本窗口正在读取的文件");
        break;
    case base::EOutputRefusal::Folder:
        strWhy = QStringLiteral("这是一个文件夹");
        break;
    case base::EOutputRefusal::None:
        break;
    }
    return QStringLiteral("不能写入%1：%2。没有写入任何文件。").arg(strPath, strWhy);
}

bool OutputAllowed(const QString& strPath, const QStringList& inputs) {
    base::COutputRule rule(CDatabase::IsOpen() ? PathFromUtf8(CDatabase::Path()) : std::filesystem::path());
    for (const QString& strInput : inputs)
        rule.AddInput(PathFromUtf8(strInput.toStdString()));
    const base::EOutputRefusal eRefusal = rule.Check(PathFromUtf8(strPath.toStdString()));
    if (eRefusal == base::EOutputRefusal::None)
        return true;
    MessageBoxShow(OutputRefusalText(eRefusal, strPath));
    return false;
}

QString AllowedOutput(const QString& strTyped, const QString& strSuffix, const QStringList& inputs) {
    const QString strPath = WithSuffix(strTyped, strSuffix);
    if (!OutputAllowed(strTyped, inputs) || (strPath != strTyped && !OutputAllowed(strPath, inputs)))
        return {};
    return strPath;
}

QString WithSuffix(const QString& strPath, const QString& strSuffix) {
    return strPath.endsWith(strSuffix, Qt::CaseInsensitive) ? strPath : strPath + strSuffix;
}

bool WriteOutput(const QString& strPath, std::string_view text, const QString& strFailure) {
    std::string strError;
    base::SFileError cause;
    if (base::WriteFileReplacing(PathFromUtf8(strPath.toStdString()), text, true, strError, &cause))
        return true;
    MessageBoxShow(strFailure + words::FileErrorText(cause));
    return false;
}
