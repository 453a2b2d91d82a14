#pragma once

#include <QDialog>
#include <QHash>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <vector>

class CDataExchange;
class QComboBox;
class QScrollArea;

// One control of a dialog template, in dialog units.
struct SControlTemplate {
    int nId = -1;
    QString strKind; // static, group, button, defbutton, edit, combo, check, ip, progress, list, icon
    QString strText;
    int x = 0, y = 0, cx = 0, cy = 0;
    QStringList styles; // dropdown, droplist, sort, vscroll, multiline, number, autohscroll, border
    QStringList items;
    bool bVisible = true;
    bool bEnabled = true;
    int nLabelFor = 0; // a static naming another control
    QString strName;   // the accessible name of a control that has no label or text
};

struct SDialogTemplate {
    int nId = 0;
    QString strCaption;
    int cx = 0, cy = 0;
    QString strFont;
    int nPointSize = 9;
    // Controls from this line down (dialog units; 0: none) stay in view
    // below the rest when the dialog's screen is too small for it.
    int nFooter = 0;
    std::vector<SControlTemplate> controls;
};

// Reads dialog template nId from the program's resources (":/dialogs/<id>.json").
const SDialogTemplate& LoadDialogTemplate(int nId);

// Makes the fonts the templates name available: each falls back to an
// installed Simplified Chinese face where it is missing.
void InstallFontSubstitutes();

// A dialog built from a template: every control is created at its place
// (dialog units converted with the font's average character size), reachable
// by its id, and named for screen readers after its label or its own text.
// Hidden controls exist but are never shown. On a screen too small for the
// template the controls scroll, and the template's footer and the dialog's
// bottom row stay in view.
class CDialogBase : public QDialog {
    Q_OBJECT
public:
    explicit CDialogBase(int nTemplateId, QWidget* pParent = nullptr);

    QWidget* Control(int nId) const;
    template <class T> T* ControlAs(int nId) const { return qobject_cast<T*>(Control(nId)); }
    const SDialogTemplate& Template() const { return m_template; }

    // Runs the dialog modally; returns QDialog::Accepted (IDOK) or Rejected.
    int DoModal() { return exec(); }
    // Moves the controls into the fields (true) or the fields into the controls (false).
    bool UpdateData(bool bSaveAndValidate = true);

    // Window text of any control: edit, static, button, combo (its edit part or selected item), IP control.
    QString GetItemText(int nId) const;
    void EnableItem(int nId, bool bEnable);
    bool IsItemEnabled(int nId) const;

    // Combo boxes: the selected item (-1 none), and the edit text or the
    // selected item. Values are written only by the data exchange.
    int GetCurSel(int nId) const;
    QString ComboText(int nId) const;

    // One-second window timers by id; the period is the caller's to choose.
    void SetTimer(int nId, int nPeriodMs);
    void KillTimer(int nId);
    bool IsTimerRunning(int nId) const { return m_timers.contains(nId); }
    // The period a running timer was set with, 0 when it is not running.
    int TimerPeriod(int nId) const { return IsTimerRunning(nId) ? m_timerPeriods.value(nId) : 0; }
    // Delivers one tick of a running timer now (tests drive time by hand).
    void FireTimer(int nId) {
        if (IsTimerRunning(nId))
            OnTimer(nId);
    }

    // Pixel rectangle of a rectangle in dialog units.
    QRect MapDialogRect(int x, int y, int cx, int cy) const;

    // Sizes the dialog for a client area of at most `room` (see ClientRoom):
    // the template's size where it fits, else its controls scroll.
    void FitScreen(const QSize& room);
    // Where the controls scroll.
    QScrollArea* ScrollArea() const { return m_pScroll; }

    // Makes a label whose text may be longer than its template's line wrap
    // to the template's width, growing downwards and moving the controls
    // below it (and the dialog's bottom) down as far as it grows.
    void WrapLabel(int nId);

    // Puts a row of the dialog's own under everything else, always in view.
    void AddBottomRow(QWidget* pRow);

protected:
    void showEvent(QShowEvent* pEvent) override;

    // Moves every value control to or from its field, through `dx` alone.
    virtual void DoDataExchange(CDataExchange& dx);
    virtual void OnTimer(int nId);
    void timerEvent(QTimerEvent* pEvent) override;

private:
    void Build();
    QWidget* CreateControl(const SControlTemplate& control, QWidget* pParent, int nTop);
    void Grow(QWidget* pLabel, int nHeight);

    QScrollArea* m_pScroll = nullptr;
    QWidget* m_pContent = nullptr; // the controls above the footer, in the scroll area
    QWidget* m_pFooter = nullptr;  // the template's footer, or nullptr
    QWidget* m_pBottomRow = nullptr;
    QSize m_room{QWIDGETSIZE_MAX, QWIDGETSIZE_MAX};

    const SDialogTemplate& m_template;
    QHash<int, QWidget*> m_controls;
    QHash<int, int> m_timers;       // our id -> Qt timer id
    QHash<int, int> m_timerPeriods; // our id -> period in ms
    QHash<int, int> m_timerIds;     // Qt timer id -> our id
    int m_nBaseX = 8;
    int m_nBaseY = 16;
};
