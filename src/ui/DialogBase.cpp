#include "DialogBase.h"
#include "DataExchange.h"

#include "IpAddressEdit.h"
#include "Resources.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QFontMetrics>
#include <QGroupBox>
#include <QHeaderView>
#include <QIcon>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QScrollArea>
#include <QScrollBar>
#include <QStyle>
#include <QTableView>
#include <QTimerEvent>

#include "ScreenFit.h"

#include <map>

namespace {

// A combo's closed height in dialog units; the template's height is that of
// the dropped list.
constexpr int kComboClosedHeight = 12;

} // namespace

const SDialogTemplate& LoadDialogTemplate(int nId) {
    // Templates are read once; every later dialog of the same kind reuses them.
    // A node-based map: references to a template stay valid for the whole run.
    static std::map<int, SDialogTemplate> cache;
    auto cached = cache.find(nId);
    if (cached != cache.end())
        return cached->second;
    SDialogTemplate result;
    QFile file(QStringLiteral(":/dialogs/%1.json").arg(nId));
    if (!file.open(QIODevice::ReadOnly))
        qFatal("dialog template %d is missing from the resources", nId);
    const QJsonObject root = QJsonDocument::fromJson(file.readAll()).object();
    result.nId = root.value(QStringLiteral("id")).toInt();
    result.strCaption = root.value(QStringLiteral("caption")).toString();
    result.cx = root.value(QStringLiteral("width")).toInt();
    result.cy = root.value(QStringLiteral("height")).toInt();
    result.strFont = root.value(QStringLiteral("font")).toString();
    result.nPointSize = root.value(QStringLiteral("pointSize")).toInt(9);
    result.nFooter = root.value(QStringLiteral("footer")).toInt(0);
    for (const auto& value : root.value(QStringLiteral("controls")).toArray()) {
        const QJsonObject object = value.toObject();
        SControlTemplate control;
        control.nId = object.value(QStringLiteral("id")).toInt(-1);
        control.strKind = object.value(QStringLiteral("kind")).toString();
        control.strText = object.value(QStringLiteral("text")).toString();
        const QJsonArray rect = object.value(QStringLiteral("rect")).toArray();
        if (rect.size() == 4) {
            control.x = rect[0].toInt();
            control.y = rect[1].toInt();
            control.cx = rect[2].toInt();
            control.cy = rect[3].toInt();
        }
        for (const auto& style : object.value(QStringLiteral("style")).toArray())
            control.styles << style.toString();
        for (const auto& item : object.value(QStringLiteral("items")).toArray())
            control.items << item.toString();
        control.bVisible = object.value(QStringLiteral("visible")).toBool(true);
        control.bEnabled = object.value(QStringLiteral("enabled")).toBool(true);
        control.nLabelFor = object.value(QStringLiteral("for")).toInt(0);
        control.strName = object.value(QStringLiteral("name")).toString();
        result.controls.push_back(control);
    }
    return cache.emplace(nId, std::move(result)).first->second;
}

void InstallFontSubstitutes() {
    const QStringList cjk{QStringLiteral("Noto Sans CJK SC"), QStringLiteral("Noto Sans SC"),
                          QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Droid Sans Fallback")};
    for (const char* pszFace : {"微软雅黑", "宋体", "MS Sans Serif"})
        QFont::insertSubstitutions(QString::fromUtf8(pszFace), cjk);
}

CDialogBase::CDialogBase(int nTemplateId, QWidget* pParent)
    : QDialog(pParent), m_template(LoadDialogTemplate(nTemplateId)) {
    Build();
}

QRect CDialogBase::MapDialogRect(int x, int y, int cx, int cy) const {
    return QRect(x * m_nBaseX / 4, y * m_nBaseY / 8, cx * m_nBaseX / 4, cy * m_nBaseY / 8);
}

void CDialogBase::Build() {
    setWindowTitle(m_template.strCaption);
    // Frame and icon are settled before any control exists: changing them
    // later would notify every control.
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint |
                   (m_template.nId == 102 ? Qt::WindowMinimizeButtonHint : Qt::WindowType(0)));
    setWindowIcon(ProgramIcon());
    QFont font(m_template.strFont.isEmpty() ? QStringLiteral("微软雅黑") : m_template.strFont);
    font.setPointSize(m_template.nPointSize);
    setFont(font);
    // The dialog base units: the average width of the Latin letters and the
    // font's height, as the dialog manager measures them.
    // Measuring a font is costly; each font is measured once.
    static QHash<QString, QPoint> baseUnits;
    const QString strKey = font.key();
    auto it = baseUnits.constFind(strKey);
    if (it == baseUnits.constEnd()) {
        QFontMetrics metrics(font);
        const QString strLetters = QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz");
        it = baseUnits.insert(strKey,
                              QPoint((metrics.horizontalAdvance(strLetters) / 26 + 1) / 2, metrics.height()));
    }
    m_nBaseX = it->x();
    m_nBaseY = it->y();
    const QSize whole = MapDialogRect(0, 0, m_template.cx, m_template.cy).size();
    const int nFooterTop =
        m_template.nFooter > 0 ? MapDialogRect(0, m_template.nFooter, 0, 0).top() : whole.height();
    // The controls are made in their final parents, which take the dialog's
    // font from the start.
    m_pScroll = new QScrollArea(this);
    m_pScroll->setObjectName(QStringLiteral("controls"));
    m_pScroll->setFrameShape(QFrame::NoFrame);
    m_pScroll->setFocusPolicy(Qt::NoFocus);
    m_pContent = new QWidget(this);
    m_pContent->resize(whole.width(), nFooterTop);
    if (nFooterTop < whole.height()) {
        m_pFooter = new QWidget(this);
        m_pFooter->resize(whole.width(), whole.height() - nFooterTop);
    }

    QHash<int, QString> labels;
    for (const auto& control : m_template.controls)
        if (control.nLabelFor != 0)
            labels.insert(control.nLabelFor, control.strText);

    QHash<int, QLabel*> labelWidgets;
    QWidget* pPrevious = nullptr;
    for (const auto& control : m_template.controls) {
        const bool bFooter = m_pFooter && control.y >= m_template.nFooter;
        QWidget* pWidget = CreateControl(control, bFooter ? m_pFooter : m_pContent, bFooter ? nFooterTop : 0);
        if (control.nLabelFor != 0)
            if (auto* pLabel = qobject_cast<QLabel*>(pWidget))
                labelWidgets.insert(control.nLabelFor, pLabel);
        if (control.nId > 0)
            m_controls.insert(control.nId, pWidget);
        pWidget->setEnabled(control.bEnabled);
        // Hidden controls keep their values but never appear.
        pWidget->setVisible(control.bVisible);
        if (!control.bVisible)
            pWidget->setAttribute(Qt::WA_WState_ExplicitShowHide);
        QString strName = labels.value(control.nId, control.strText);
        if (strName.isEmpty())
            strName = control.strName;
        strName.remove(QLatin1Char('&'));
        if (auto* pIp = qobject_cast<CIpAddressEdit*>(pWidget); pIp && !strName.isEmpty())
            pIp->SetAccessibleNames(strName);
        else if (!strName.isEmpty())
            pWidget->setAccessibleName(strName);
        if (control.nId > 0 && pWidget->focusPolicy() != Qt::NoFocus) {
            if (pPrevious)
                setTabOrder(pPrevious, pWidget);
            pPrevious = pWidget;
        }
    }
    for (auto it = labelWidgets.constBegin(); it != labelWidgets.constEnd(); ++it)
        if (QWidget* pTarget = m_controls.value(it.key()))
            it.value()->setBuddy(pTarget);
    m_pScroll->setWidget(m_pContent);
    for (auto it = m_controls.constBegin(); it != m_controls.constEnd(); ++it)
        if (auto* pLabel = qobject_cast<QLabel*>(it.value()); pLabel && pLabel->wordWrap())
            WrapLabel(it.key());
    FitScreen(m_room);
}

void CDialogBase::WrapLabel(int nId) {
    auto* pLabel = ControlAs<QLabel>(nId);
    if (!pLabel)
        return;
    pLabel->setWordWrap(true);
    const int nNeeded = pLabel->heightForWidth(pLabel->width());
    if (nNeeded > pLabel->height())
        Grow(pLabel, nNeeded - pLabel->height());
}

void CDialogBase::Grow(QWidget* pLabel, int nHeight) {
    QWidget* pParent = pLabel->parentWidget();
    const int nBottom = pLabel->geometry().bottom();
    for (QWidget* pWidget : pParent->findChildren<QWidget*>(Qt::FindDirectChildrenOnly))
        if (pWidget != pLabel && pWidget->geometry().top() > nBottom)
            pWidget->move(pWidget->x(), pWidget->y() + nHeight);
    pLabel->resize(pLabel->width(), pLabel->height() + nHeight);
    pParent->resize(pParent->width(), pParent->height() + nHeight);
    FitScreen(m_room);
}

void CDialogBase::AddBottomRow(QWidget* pRow) {
    m_pBottomRow = pRow;
    FitScreen(m_room);
}

void CDialogBase::FitScreen(const QSize& room) {
    m_room = room;
    const QSize content = m_pContent->size();
    const int nFixed =
        (m_pFooter ? m_pFooter->height() : 0) + (m_pBottomRow ? m_pBottomRow->sizeHint().height() : 0);
    const int nBar = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, m_pScroll);
    // Scroll bars only where the room is short: one bar may need the other.
    bool bWide = content.width() > room.width();
    bool bTall = content.height() + nFixed + (bWide ? nBar : 0) > room.height();
    if (bTall && !bWide)
        bWide = content.width() + nBar > room.width();
    if (bWide && !bTall)
        bTall = content.height() + nFixed + nBar > room.height();
    const int nWidth = bWide ? room.width() : content.width() + (bTall ? nBar : 0);
    const int nAreaHeight =
        bTall ? std::max(0, room.height() - nFixed) : content.height() + (bWide ? nBar : 0);
    m_pScroll->setHorizontalScrollBarPolicy(bWide ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    m_pScroll->setVerticalScrollBarPolicy(bTall ? Qt::ScrollBarAlwaysOn : Qt::ScrollBarAlwaysOff);
    m_pScroll->setGeometry(0, 0, nWidth, nAreaHeight);
    int nTop = nAreaHeight;
    if (m_pFooter) {
        m_pFooter->setGeometry(0, nTop, std::max(nWidth, m_pFooter->width()), m_pFooter->height());
        nTop += m_pFooter->height();
    }
    if (m_pBottomRow) {
        const int nRow = m_pBottomRow->sizeHint().height();
        m_pBottomRow->setGeometry(0, nTop, nWidth, nRow);
        nTop += nRow;
    }
    setFixedSize(nWidth, nTop);
}

void CDialogBase::showEvent(QShowEvent* pEvent) {
    FitScreen(ClientRoom(AvailableScreenSize(*this)));
    QDialog::showEvent(pEvent);
}

QWidget* CDialogBase::CreateControl(const SControlTemplate& control, QWidget* pParent, int nTop) {
    QWidget* pWidget = nullptr;
    QRect rect = MapDialogRect(control.x, control.y, control.cx, control.cy).translated(0, -nTop);
    const QString& kind = control.strKind;
    if (kind == QLatin1String("static")) {
        auto* pLabel = new QLabel(control.strText, pParent);
        // Static texts in a dialog font may need a little more room than the
        // template gives; they never clip. One of several lines wraps within
        // its width (and grows downwards once built); a single line widens.
        const bool bLines = control.cy >= 16;
        pLabel->setWordWrap(bLines);
        const QSize text = fontMetrics().size(Qt::TextSingleLine, control.strText);
        if (!bLines)
            rect.setWidth(std::max(rect.width(), text.width()));
        rect.setHeight(std::max(rect.height(), text.height()));
        pWidget = pLabel;
    } else if (kind == QLatin1String("group")) {
        auto* pGroup = new QGroupBox(control.strText, pParent);
        pGroup->setAttribute(Qt::WA_TransparentForMouseEvents);
        pGroup->setFocusPolicy(Qt::NoFocus);
        pWidget = pGroup;
    } else if (kind == QLatin1String("button") || kind == QLatin1String("defbutton")) {
        auto* pButton = new QPushButton(control.strText, pParent);
        pButton->setAutoDefault(false);
        if (kind == QLatin1String("defbutton"))
            pButton->setDefault(true);
        pWidget = pButton;
    } else if (kind == QLatin1String("check")) {
        pWidget = new QCheckBox(control.strText, pParent);
    } else if (kind == QLatin1String("edit")) {
        // A multi-line edit that is never shown holds its text just as well
        // in a single-line one, which costs far less to build.
        if (control.styles.contains(QLatin1String("multiline")) && control.bVisible) {
            auto* pEdit = new QPlainTextEdit(pParent);
            pEdit->setTabChangesFocus(true);
            pEdit->setVerticalScrollBarPolicy(control.styles.contains(QLatin1String("vscroll"))
                                                  ? Qt::ScrollBarAsNeeded
                                                  : Qt::ScrollBarAlwaysOff);
            pWidget = pEdit;
        } else {
            auto* pEdit = new QLineEdit(pParent);
            if (control.styles.contains(QLatin1String("number")))
                pEdit->setValidator(
                    new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), pEdit));
            pWidget = pEdit;
        }
    } else if (kind == QLatin1String("combo")) {
        auto* pCombo = new QComboBox(pParent);
        pCombo->setEditable(control.styles.contains(QLatin1String("dropdown")));
        if (pCombo->isEditable())
            pCombo->setInsertPolicy(QComboBox::NoInsert);
        pCombo->addItems(control.items);
        pCombo->setCurrentIndex(-1);
        pCombo->setMaxVisibleItems(std::max(5, control.cy / 10));
        pCombo->setProperty("sorted", control.styles.contains(QLatin1String("sort")));
        rect.setHeight(std::max(MapDialogRect(0, 0, 0, kComboClosedHeight).height(), m_nBaseY + 8));
        pWidget = pCombo;
    } else if (kind == QLatin1String("ip")) {
        pWidget = new CIpAddressEdit(pParent);
    } else if (kind == QLatin1String("progress")) {
        auto* pProgress = new QProgressBar(pParent);
        pProgress->setTextVisible(false);
        pWidget = pProgress;
    } else if (kind == QLatin1String("list")) {
        auto* pTable = new QTableView(pParent);
        pTable->setSelectionBehavior(QAbstractItemView::SelectRows);
        pTable->setSelectionMode(QAbstractItemView::SingleSelection);
        pTable->verticalHeader()->hide();
        pWidget = pTable;
    } else if (kind == QLatin1String("icon")) {
        auto* pIcon = new QLabel(pParent);
        pIcon->setPixmap(ProgramIcon().pixmap(32, 32));
        rect.setSize(QSize(32, 32));
        pWidget = pIcon;
    } else {
        pWidget = new QLabel(control.strText, pParent);
    }
    pWidget->setGeometry(rect);
    if (kind == QLatin1String("group"))
        pWidget->lower();
    return pWidget;
}

QWidget* CDialogBase::Control(int nId) const {
    return m_controls.value(nId, nullptr);
}

bool CDialogBase::UpdateData(bool bSaveAndValidate) {
    CDataExchange dx(*this, bSaveAndValidate);
    DoDataExchange(dx);
    return true;
}

void CDialogBase::DoDataExchange(CDataExchange&) {}

QString CDialogBase::GetItemText(int nId) const {
    QWidget* pWidget = Control(nId);
    if (auto* pEdit = qobject_cast<QLineEdit*>(pWidget))
        return pEdit->text();
    if (auto* pEdit = qobject_cast<QPlainTextEdit*>(pWidget))
        return pEdit->toPlainText();
    if (qobject_cast<QComboBox*>(pWidget))
        return ComboText(nId);
    if (auto* pIp = qobject_cast<CIpAddressEdit*>(pWidget))
        return pIp->Text();
    if (auto* pButton = qobject_cast<QAbstractButton*>(pWidget))
        return pButton->text();
    if (auto* pLabel = qobject_cast<QLabel*>(pWidget))
        return pLabel->text();
    return QString();
}

void CDialogBase::EnableItem(int nId, bool bEnable) {
    if (QWidget* pWidget = Control(nId))
        pWidget->setEnabled(bEnable);
}

bool CDialogBase::IsItemEnabled(int nId) const {
    QWidget* pWidget = Control(nId);
    return pWidget && pWidget->isEnabled();
}

int CDialogBase::GetCurSel(int nId) const {
    auto* pCombo = ControlAs<QComboBox>(nId);
    if (!pCombo)
        return -1;
    int nIndex = pCombo->currentIndex();
    // An edited text that is not the selected item means no selection.
    if (nIndex >= 0 && pCombo->isEditable() && pCombo->currentText() != pCombo->itemText(nIndex))
        return -1;
    return nIndex;
}

QString CDialogBase::ComboText(int nId) const {
    auto* pCombo = ControlAs<QComboBox>(nId);
    if (!pCombo)
        return QString();
    if (pCombo->isEditable())
        return pCombo->currentText();
    return pCombo->currentIndex() >= 0 ? pCombo->itemText(pCombo->currentIndex()) : QString();
}

void CDialogBase::SetTimer(int nId, int nPeriodMs) {
    KillTimer(nId);
    int nQtId = startTimer(nPeriodMs, Qt::PreciseTimer);
    m_timers.insert(nId, nQtId);
    m_timerPeriods.insert(nId, nPeriodMs);
    m_timerIds.insert(nQtId, nId);
}

void CDialogBase::KillTimer(int nId) {
    auto it = m_timers.find(nId);
    if (it == m_timers.end())
        return;
    killTimer(it.value());
    m_timerIds.remove(it.value());
    m_timers.erase(it);
}

void CDialogBase::OnTimer(int) {}

void CDialogBase::timerEvent(QTimerEvent* pEvent) {
    auto it = m_timerIds.find(pEvent->timerId());
    if (it == m_timerIds.end()) {
        QDialog::timerEvent(pEvent);
        return;
    }
    OnTimer(it.value());
}
