#include "kestrun/shell/gui/FolderPickerDialog.h"

#include <QApplication>
#include <QCheckBox>
#include <QDialogButtonBox>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QPushButton>
#include <QVBoxLayout>

#include "kestrun/shell/gui/HistoryComboWidget.h"
#include "kestrun/shell/gui/ShellTreeWidget.h"

namespace shell::gui {

namespace {
constexpr int kCheckIds[] = {COXFolderPickerDlg::IDC_ONLY_FILE_SYSTEM, COXFolderPickerDlg::IDC_POPUP_MENU,
                             COXFolderPickerDlg::IDC_NOTIFY_ERRORS, COXFolderPickerDlg::IDC_SHOW_FILES,
                             COXFolderPickerDlg::IDC_DESKTOP_ITEM};
} // namespace

FolderPickerDialog::FolderPickerDialog(COXFolderPickerDlg& picker, QWidget* parent)
    : QDialog(parent), m_picker(picker), m_pTree(new ShellTreeWidget)
{
    setWindowTitle(QString::fromStdString(picker.GetCaption()));
    m_pTree->setObjectName(QString::number(COXFolderPickerDlg::IDC_TREE));
    m_picker.OnInitDialog(*m_pTree);
    m_pTree->SetTree(m_picker.GetTree());

    auto* pLayout = new QVBoxLayout(this);
    auto* pPathRow = new QHBoxLayout;
    m_pPath = new HistoryComboWidget(m_picker.GetPathCombo());
    m_pOpen = new QPushButton(tr("&Open"));
    m_pOpen->setAutoDefault(false);
    pPathRow->addWidget(m_pPath, 1);
    pPathRow->addWidget(m_pOpen);
    pLayout->addLayout(pPathRow);
    pLayout->addWidget(m_pTree, 1);
    auto* pChecks = new QGridLayout;
    int row = 0;
    for (int id : kCheckIds) {
        auto* pCheck = new QCheckBox(QString::fromLatin1(COXFolderPickerDlg::GetCheckText(id)));
        pCheck->setChecked(m_picker.GetCheck(id));
        pCheck->setObjectName(QString::number(id));
        connect(pCheck, &QCheckBox::toggled, this, [this, id](bool checked) { m_picker.OnCheckBox(id, checked); });
        pChecks->addWidget(pCheck, row / 2, row % 2);
        m_checks[id] = pCheck;
        ++row;
    }
    pLayout->addLayout(pChecks);
    auto* pButtons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel);
    QPushButton* pRefresh = pButtons->addButton(tr("Refresh"), QDialogButtonBox::ActionRole);
    pLayout->addWidget(pButtons);

    connect(m_pOpen, &QPushButton::clicked, this, [this] {
        QApplication::setOverrideCursor(Qt::WaitCursor);
        const bool found = m_picker.OnOpenPath();
        QApplication::restoreOverrideCursor();
        if (found)
            m_pTree->setFocus();
    });
    connect(pRefresh, &QPushButton::clicked, this, [this] { m_picker.OnRefresh(); });
    connect(m_pTree, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem* pItem) {
        m_picker.OnTreeSelChanged(m_pTree->IdOf(pItem));
        m_pPath->Refresh();
    });
    connect(pButtons, &QDialogButtonBox::accepted, this, &FolderPickerDialog::accept);
    connect(pButtons, &QDialogButtonBox::rejected, this, &FolderPickerDialog::reject);
    m_pPath->Refresh();
    resize(420, 480);
}

FolderPickerDialog::~FolderPickerDialog()
{
    m_pTree->SetTree(nullptr);
    if (!m_bDone)
        m_picker.OnDestroy();
}

QCheckBox* FolderPickerDialog::Check(int nId) const
{
    auto it = m_checks.find(nId);
    return it == m_checks.end() ? nullptr : it->second;
}

void FolderPickerDialog::accept()
{
    m_picker.OnOK();
    QDialog::accept();
}

void FolderPickerDialog::done(int nResult)
{
    // The tree goes with the window; its control must not reach it afterwards.
    m_pTree->SetTree(nullptr);
    if (!m_bDone) {
        m_bDone = true;
        m_picker.OnDestroy();
    }
    QDialog::done(nResult);
}

} // namespace shell::gui
