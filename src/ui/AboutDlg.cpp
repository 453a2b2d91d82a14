#include "AboutDlg.h"

#include "Database.h"
#include "Resources.h"
#include "Utf8Path.h"

#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QVBoxLayout>

QString CAboutDlg::LicenceText() {
    QFile file(QStringLiteral(":/LICENSE"));
    return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
}

CAboutDlg::CAboutDlg(QWidget* pParent) : CDialogBase(100, pParent) {
    if (auto* pOk = ControlAs<QPushButton>(1))
        connect(pOk, &QPushButton::clicked, this, &QDialog::accept);
    if (auto* pShow = ControlAs<QPushButton>(kShowLicenceId)) {
        connect(pShow, &QPushButton::clicked, this, [this] {
            QDialog box(this);
            box.setWindowTitle(QStringLiteral("Velmora 许可证"));
            auto* pText = new QPlainTextEdit(LicenceText(), &box);
            pText->setReadOnly(true);
            pText->setAccessibleName(QStringLiteral("Velmora 许可证"));
            pText->setMinimumSize(520, 360);
            auto* pButtons = new QDialogButtonBox(QDialogButtonBox::Close, &box);
            pButtons->button(QDialogButtonBox::Close)->setText(QStringLiteral("关闭"));
            pButtons->button(QDialogButtonBox::Close)->setAccessibleName(QStringLiteral("关闭"));
            connect(pButtons, &QDialogButtonBox::rejected, &box, &QDialog::reject);
            auto* pLayout = new QVBoxLayout(&box);
            pLayout->addWidget(pText);
            pLayout->addWidget(pButtons);
            box.exec();
        });
    }
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
        // A folder name longer than the line would run past the box: such a
        // path may break after any separator instead.
        const QRect wrapped = pWhere->fontMetrics().boundingRect(QRect(0, 0, pWhere->width(), 100000),
                                                                 Qt::TextWordWrap, strText);
        if (wrapped.width() > pWhere->width()) {
            QString strBreakable = strText;
            strBreakable.replace(QLatin1Char('\\'), QStringLiteral("\\\u200b"));
            strBreakable.replace(QLatin1Char('/'), QStringLiteral("/\u200b"));
            pWhere->setText(strBreakable);
        }
        WrapLabel(kDataFileId);
    }
    WrapLabel(kLicencesId);
}
