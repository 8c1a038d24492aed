#include "kestrun/shell/gui/FormDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRegularExpressionValidator>
#include <QSignalBlocker>
#include <QVBoxLayout>

#include "kestrun/shell/app/MessageBox.h"
#include "kestrun/shell/gui/FolderPickerDialog.h"
#include "qtdispatch/ModalLoops.h"

namespace shell::gui {

namespace {

QString Text(const std::string& text) { return QString::fromStdString(text); }

enum Column { kLabel, kControl, kUnit, kButton };

} // namespace

FormDialog::FormDialog(DialogForm& form, QWidget* parent) : QDialog(parent), m_form(form)
{
    setWindowTitle(Text(form.GetCaption()));
    Build();
    ShowFields();
}

QWidget* FormDialog::Control(int nId) const
{
    auto it = m_controls.find(nId);
    return it == m_controls.end() ? nullptr : it->second;
}

QWidget* FormDialog::MakeControl(const FormField& field)
{
    const int id = field.nId;
    QWidget* pControl = nullptr;
    switch (field.kind) {
    case FieldKind::Edit: {
        auto* pEdit = new QLineEdit;
        if (field.bDigits)
            pEdit->setValidator(new QRegularExpressionValidator(QRegularExpression("[0-9]*"), pEdit));
        connect(pEdit, &QLineEdit::textEdited, this, [this, id](const QString& text) {
            m_form.SetText(id, text.toStdString());
            OnChanged(id);
        });
        pControl = pEdit;
        break;
    }
    case FieldKind::Check: {
        auto* pCheck = new QCheckBox(Text(field.strLabel));
        connect(pCheck, &QCheckBox::toggled, this, [this, id](bool checked) {
            m_form.SetCheck(id, checked);
            OnChanged(id);
        });
        pControl = pCheck;
        break;
    }
    case FieldKind::Choice: {
        auto* pCombo = new QComboBox;
        for (const std::string& choice : field.choices)
            pCombo->addItem(Text(choice));
        connect(pCombo, qOverload<int>(&QComboBox::activated), this, [this, id](int index) {
            m_form.SetChoice(id, index);
            OnChanged(id);
        });
        pControl = pCombo;
        break;
    }
    case FieldKind::Button: {
        auto* pButton = new QPushButton(Text(field.strLabel));
        pButton->setAutoDefault(false);
        connect(pButton, &QPushButton::clicked, this, [this, id] { OnChanged(id); });
        pControl = pButton;
        break;
    }
    }
    pControl->setObjectName(QString::number(id));
    m_controls[id] = pControl;
    return pControl;
}

void FormDialog::Build()
{
    auto* pLayout = new QVBoxLayout(this);
    std::map<std::string, QGridLayout*> groups;
    int lastRow = 0;
    QGridLayout* pLastGrid = nullptr;
    for (const FormField& field : m_form.GetFields()) {
        QGridLayout*& pGrid = groups[field.strGroup];
        if (!pGrid) {
            pGrid = new QGridLayout;
            if (field.strGroup.empty()) {
                pLayout->addLayout(pGrid);
            } else {
                auto* pBox = new QGroupBox(Text(field.strGroup));
                pBox->setLayout(pGrid);
                pLayout->addWidget(pBox);
            }
        }
        QWidget* pControl = MakeControl(field);
        // A button sits beside the field before it.
        if (field.kind == FieldKind::Button && pLastGrid == pGrid) {
            pGrid->addWidget(pControl, lastRow, kButton);
            continue;
        }
        const int row = pGrid->rowCount();
        if (field.kind == FieldKind::Check) {
            pGrid->addWidget(pControl, row, kLabel, 1, 3);
        } else {
            if (!field.strLabel.empty() && field.kind != FieldKind::Button) {
                auto* pLabel = new QLabel(Text(field.strLabel));
                pLabel->setBuddy(pControl);
                pGrid->addWidget(pLabel, row, kLabel);
            }
            pGrid->addWidget(pControl, row, kControl);
            if (!field.strUnit.empty())
                pGrid->addWidget(new QLabel(Text(field.strUnit)), row, kUnit);
        }
        lastRow = row;
        pLastGrid = pGrid;
    }
    m_pButtons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    connect(m_pButtons, &QDialogButtonBox::accepted, this, &FormDialog::accept);
    connect(m_pButtons, &QDialogButtonBox::rejected, this, &FormDialog::reject);
    pLayout->addWidget(m_pButtons);
}

void FormDialog::ShowFields(int nExceptId)
{
    for (const FormField& field : m_form.GetFields()) {
        QWidget* pControl = Control(field.nId);
        pControl->setEnabled(field.bEnabled);
        if (field.nId == nExceptId)
            continue;
        const QSignalBlocker quiet(pControl);
        if (auto* pEdit = qobject_cast<QLineEdit*>(pControl); pEdit && pEdit->text() != Text(field.strText))
            pEdit->setText(Text(field.strText));
        else if (auto* pCheck = qobject_cast<QCheckBox*>(pControl))
            pCheck->setChecked(field.bChecked);
        else if (auto* pCombo = qobject_cast<QComboBox*>(pControl))
            pCombo->setCurrentIndex(field.nChoice);
    }
}

void FormDialog::OnChanged(int nId)
{
    m_form.OnCommand(nId);
    // The control the user is typing in keeps its text and cursor.
    const FormField* pField = m_form.FindField(nId);
    ShowFields(pField && pField->kind == FieldKind::Edit ? nId : 0);
}

void FormDialog::accept()
{
    if (m_form.OnOK()) {
        QDialog::accept();
        return;
    }
    ShowFields();
    if (QWidget* pControl = Control(m_form.GetRefusedField()))
        pControl->setFocus();
}

int QtFormPresenter::Run(DialogForm& form)
{
    if (!form.OnInitDialog())
        return IDCANCEL;
    FormDialog dialog(form, QApplication::activeWindow());
    return qtdispatch::ExecModal(dialog) == QDialog::Accepted ? IDOK : IDCANCEL;
}

int QtFormPresenter::RunFolderPicker(COXFolderPickerDlg& picker)
{
    FolderPickerDialog dialog(picker, QApplication::activeWindow());
    return qtdispatch::ExecModal(dialog) == QDialog::Accepted ? IDOK : IDCANCEL;
}

} // namespace shell::gui
