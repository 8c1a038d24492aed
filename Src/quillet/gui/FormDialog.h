#pragma once
// The base of every dialog window: it builds the controls of a dialog template, each
// named by its id and labelled from the text tables, shows what its form holds
// (Refresh) and hands every user action to the form, then shows the form again. No
// dialog keeps a rule or a value of its own.
#include "quillet/text/StringTable.h"
#include "quillet/gui/QtText.h"

#include <QDialog>

#include <initializer_list>
#include <type_traits>
#include <string>
#include <utility>
#include <vector>

// The widgets every dialog header names.
class QCheckBox;
class QComboBox;
class QGridLayout;
class QHBoxLayout;
class QLabel;
class QLineEdit;
class QListWidget;
class QPushButton;
class QRadioButton;
class QTreeWidget;

namespace quillet::gui {

class FormDialog : public QDialog {
public:
    FormDialog(UINT dialogId, const StringTable& texts, QWidget* parent);

    // The widgets show the form again.
    void Sync();

protected:
    virtual void Refresh() = 0;
    // OK and Cancel; OK accepts unless overridden.
    virtual void OnOk() { accept(); }

    const StringTable& Texts() const { return m_texts; }
    QString Text(UINT control) const;

    QLabel* Label(UINT id);
    QLineEdit* Edit(UINT id, bool readOnly = false);
    QCheckBox* Check(UINT id);
    QRadioButton* Radio(UINT id);
    QPushButton* Button(UINT id);
    QComboBox* Combo(UINT id);
    QListWidget* List(UINT id, bool severalRows = false);
    QTreeWidget* Table(UINT id, std::initializer_list<std::pair<QString, int>> columns);
    // The control in the grid's right column with its text as the label on the left.
    void Field(QGridLayout* grid, UINT id, QWidget* control);
    // A row of buttons at the right; IDOK and IDCANCEL call OnOk and reject.
    QHBoxLayout* Buttons(std::initializer_list<UINT> ids);

    // A slot for a user action: runs it (unless the widgets are being refreshed), then
    // shows the form again.
    template <typename F>
    auto Act(F action)
    {
        return [this, action](auto&&... args) {
            if (m_refreshing) return;
            // Slots may take fewer of the signal's arguments, or none.
        if constexpr (std::is_invocable_v<F, decltype(args)...>) action(std::forward<decltype(args)>(args)...);
        else action();
            Sync();
        };
    }

    // Setters that leave a widget alone when it already shows the value.
    static void Show(QLineEdit* edit, std::string_view text);
    static void Show(QListWidget* list, const std::vector<std::string>& rows, int current);
    static void Show(QComboBox* combo, const std::vector<std::string>& entries, int current);
    static void Show(QTreeWidget* table, const std::vector<std::vector<std::string>>& rows, int current = -1);

private:
    const StringTable& m_texts;
    UINT m_dialogId;
    bool m_refreshing = false;
};

// A prompt in a message box captioned with the program's name.
void ShowPrompt(QWidget* parent, const StringTable& texts, std::string_view text);

} // namespace quillet::gui
