#pragma once

#include <QString>

#include <array>
#include <cstdint>

class CDialogBase;
class QComboBox;

// The one way a dialog's value controls are written: a dialog's data
// exchange moves each value between a control and its field, in the
// direction the exchange was made for. Handlers change fields and call
// UpdateData(false); they never set a text, a selection or an address
// themselves, so what the dialog shows is always its fields.
class CDataExchange {
public:
    CDataExchange(CDialogBase& dialog, bool bSaveAndValidate) : m_dialog(dialog), m_bSave(bSaveAndValidate) {}
    bool Saving() const { return m_bSave; }

    // Edit, multi-line edit, static or button text.
    void Text(int nId, QString& strValue);
    // A list by item index; -1 is no selection (an index outside the list
    // shows none and reads back as -1).
    void Index(int nId, int& nIndex);
    // A list by text: saving reads the edit text or the selected item;
    // loading selects the first item that begins with the text (letter case
    // ignored) or, for a list with an edit part, shows the text.
    void ComboText(int nId, QString& strValue);
    // A list with an edit part by exact text: an item equal to it is
    // selected, otherwise the edit part shows it.
    void ExactText(int nId, QString& strValue);
    void Check(int nId, bool& bValue);
    // An address control: its four fields, and whether all four are filled
    // (a blank field reads as 0). Loading an address that is not whole
    // blanks the control, unless it already shows exactly that.
    void Address(int nId, std::array<std::uint8_t, 4>& address, bool& bWhole);

private:
    // Saving reads a list's text into the field and gives nothing; loading
    // gives the list to write.
    QComboBox* ListToLoad(int nId, QString& strValue);

    CDialogBase& m_dialog;
    bool m_bSave;
};
