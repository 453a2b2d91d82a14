#include "AboutDlg.h"

#include "Database.h"
#include "Resources.h"
#include "Utf8Path.h"

#include <QDir>
#include <QLabel>
#include <QPushButton>

CAboutDlg::CAboutDlg(QWidget* pParent) : CDialogBase(100, pParent) {
    if (auto* pOk = ControlAs<QPushButton>(1))
        connect(pOk, &QPushButton::clicked, this, &QDialog::accept);
    // Where the library and the microphone table are kept (beside the program,
    // or a per-user copy when the program's folder may not be written).
    if (auto* pWhere = ControlAs<QLabel>(kDataFileId)) {
        std::error_code error;
        const std::filesystem::path file = std::filesystem::absolute(PathFromUtf8(CDatabase::Path()), error);
        const QString strText =
            QStringLiteral("数据文件：") +
            QDir::toNativeSeparators(QString::fromStdString(Utf8FromPath(file.lexically_normal())));
        pWhere->setWordWrap(true);
        pWhere->setText(strText);
        pWhere->setAccessibleName(strText);
    }
}
