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
// Hidden controls exist but are never shown.
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

protected:
    // Moves every value control to or from its field, through `dx` alone.
    virtual void DoDataExchange(CDataExchange& dx);
    virtual void OnTimer(int nId);
    void timerEvent(QTimerEvent* pEvent) override;

private:
    void Build();
    QWidget* CreateControl(const SControlTemplate& control);

    const SDialogTemplate& m_template;
    QHash<int, QWidget*> m_controls;
    QHash<int, int> m_timers;       // our id -> Qt timer id
    QHash<int, int> m_timerPeriods; // our id -> period in ms
    QHash<int, int> m_timerIds;     // Qt timer id -> our id
    int m_nBaseX = 8;
    int m_nBaseY = 16;
};
