#include "IpAddressEdit.h"

#include <QEvent>
#include <QIntValidator>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPainter>

CIpAddressEdit::CIpAddressEdit(QWidget* pParent) : QFrame(pParent) {
    setFrameStyle(QFrame::StyledPanel | QFrame::Sunken);
    setAutoFillBackground(true);
    setBackgroundRole(QPalette::Base);
    setFocusPolicy(Qt::StrongFocus);
    // Four bare fields; the dots between them are painted, not widgets.
    auto* pValidator = new QIntValidator(0, 255, this);
    for (int i = 0; i < 4; ++i) {
        auto* pField = new QLineEdit(this);
        pField->setFrame(false);
        pField->setAlignment(Qt::AlignCenter);
        pField->setMaxLength(3);
        pField->setValidator(pValidator);
        pField->installEventFilter(this);
        m_fields[static_cast<std::size_t>(i)] = pField;
        connect(pField, &QLineEdit::textEdited, this, [this, i] { OnFieldEdited(i); });
        connect(pField, &QLineEdit::textChanged, this, &CIpAddressEdit::Changed);
        connect(pField, &QLineEdit::textEdited, this, &CIpAddressEdit::Edited);
    }
    setFocusProxy(m_fields[0]);
}

void CIpAddressEdit::resizeEvent(QResizeEvent* pEvent) {
    QFrame::resizeEvent(pEvent);
    const QRect area = contentsRect();
    const int nDot = fontMetrics().horizontalAdvance(QLatin1Char('.')) + 2;
    const int nField = std::max(1, (area.width() - 3 * nDot) / 4);
    for (int i = 0; i < 4; ++i)
        m_fields[static_cast<std::size_t>(i)]->setGeometry(area.left() + i * (nField + nDot), area.top(),
                                                           nField, area.height());
}

void CIpAddressEdit::paintEvent(QPaintEvent* pEvent) {
    QFrame::paintEvent(pEvent);
    QPainter painter(this);
    painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, QPalette::Text));
    for (int i = 0; i < 3; ++i) {
        const QRect field = m_fields[static_cast<std::size_t>(i)]->geometry();
        const QRect next = m_fields[static_cast<std::size_t>(i + 1)]->geometry();
        painter.drawText(
            QRect(field.right() + 1, field.top(), next.left() - field.right() - 1, field.height()),
            Qt::AlignCenter, QStringLiteral("."));
    }
}

void CIpAddressEdit::SetAccessibleNames(const QString& strName) {
    setAccessibleName(strName);
    for (int i = 0; i < 4; ++i)
        m_fields[static_cast<std::size_t>(i)]->setAccessibleName(
            QStringLiteral("%1 第%2段").arg(strName).arg(i + 1));
}

QString CIpAddressEdit::Text() const {
    auto a = Address();
    return QStringLiteral("%1.%2.%3.%4").arg(a[0]).arg(a[1]).arg(a[2]).arg(a[3]);
}

bool CIpAddressEdit::IsComplete() const {
    for (auto* pField : m_fields)
        if (pField->text().isEmpty())
            return false;
    return true;
}

bool CIpAddressEdit::IsBlank() const {
    for (auto* pField : m_fields)
        if (!pField->text().isEmpty())
            return false;
    return true;
}

std::array<std::uint8_t, 4> CIpAddressEdit::Address() const {
    std::array<std::uint8_t, 4> address{};
    for (std::size_t i = 0; i < 4; ++i)
        address[i] = static_cast<std::uint8_t>(std::min(m_fields[i]->text().toInt(), 255));
    return address;
}

void CIpAddressEdit::SetAddress(const std::array<std::uint8_t, 4>& address) {
    for (std::size_t i = 0; i < 4; ++i)
        m_fields[i]->setText(QString::number(address[i]));
}

void CIpAddressEdit::SetText(const QString& strText) {
    const auto parts = strText.split(QLatin1Char('.'));
    for (std::size_t i = 0; i < 4; ++i) {
        QString strPart =
            i < static_cast<std::size_t>(parts.size()) ? parts[static_cast<int>(i)].trimmed() : QString();
        bool bOk = false;
        int nValue = strPart.toInt(&bOk);
        m_fields[i]->setText(bOk && nValue >= 0 && nValue <= 255 ? QString::number(nValue) : QString());
    }
}

void CIpAddressEdit::Clear() {
    for (auto* pField : m_fields)
        pField->clear();
}

void CIpAddressEdit::OnFieldEdited(int nIndex) {
    // Three digits complete a field: move on, as an address control does.
    if (m_fields[static_cast<std::size_t>(nIndex)]->text().size() == 3 && nIndex < 3) {
        m_fields[static_cast<std::size_t>(nIndex + 1)]->setFocus();
        m_fields[static_cast<std::size_t>(nIndex + 1)]->selectAll();
    }
}

bool CIpAddressEdit::eventFilter(QObject* pWatched, QEvent* pEvent) {
    if (pEvent->type() != QEvent::KeyPress)
        return QFrame::eventFilter(pWatched, pEvent);
    auto* pKey = static_cast<QKeyEvent*>(pEvent);
    for (int i = 0; i < 4; ++i) {
        QLineEdit* pField = m_fields[static_cast<std::size_t>(i)];
        if (pWatched != pField)
            continue;
        bool bDot = pKey->key() == Qt::Key_Period || pKey->text() == QStringLiteral("。");
        if (bDot && i < 3) {
            if (!pField->text().isEmpty()) {
                m_fields[static_cast<std::size_t>(i + 1)]->setFocus();
                m_fields[static_cast<std::size_t>(i + 1)]->selectAll();
            }
            return true;
        }
        if (pKey->key() == Qt::Key_Backspace && pField->cursorPosition() == 0 && i > 0 &&
            !pField->hasSelectedText()) {
            QLineEdit* pPrevious = m_fields[static_cast<std::size_t>(i - 1)];
            pPrevious->setFocus();
            pPrevious->setCursorPosition(pPrevious->text().size());
            return true;
        }
        if (pKey->key() == Qt::Key_Left && pField->cursorPosition() == 0 && i > 0) {
            m_fields[static_cast<std::size_t>(i - 1)]->setFocus();
            return true;
        }
        if (pKey->key() == Qt::Key_Right && pField->cursorPosition() == pField->text().size() && i < 3) {
            m_fields[static_cast<std::size_t>(i + 1)]->setFocus();
            m_fields[static_cast<std::size_t>(i + 1)]->setCursorPosition(0);
            return true;
        }
    }
    return QFrame::eventFilter(pWatched, pEvent);
}

void CIpAddressEdit::changeEvent(QEvent* pEvent) {
    if (pEvent->type() == QEvent::EnabledChange)
        setBackgroundRole(isEnabled() ? QPalette::Base : QPalette::Window);
    QFrame::changeEvent(pEvent);
}
