#pragma once
// The file dialog of the shell, and the document manager's file prompt that
// offers every document type. Both show the installed file picker (FileDialog.h).
#include <string>
#include <vector>

#include "kestrun/shell/app/Application.h"
#include "kestrun/shell/app/FileDialog.h"

namespace shell {

// Dialog flags, numbered as the file dialogs number them.
enum : DWORD {
    OFN_READONLY = 0x1,
    OFN_OVERWRITEPROMPT = 0x2,
    OFN_HIDEREADONLY = 0x4,
    OFN_FILEMUSTEXIST = 0x1000,
};

class CFileDialogEx {
public:
    // The default extension goes without its dot; the filter is written
    // "Text (*.x)|*.x|All Files (*.*)|*.*||".
    CFileDialogEx(bool bOpenFileDialog, std::string strDefExt = {}, std::string strFileName = {},
                  DWORD dwFlags = OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT, std::string strFilter = {});

    // IDOK, or IDCANCEL (also without a picker): never 0.
    int DoModal();
    // The chosen file after OK.
    const std::string& GetPathName() const { return m_strPathName; }

    // Where the dialog starts: a folder, or a file whose folder it is (that
    // file is then proposed unless a name was given).
    void SetInitialDir(std::string strFolder) { m_strInitialDir = std::move(strFolder); }
    void SetTitle(std::string strTitle) { m_strTitle = std::move(strTitle); }
    DWORD& Flags() { return m_dwFlags; }

private:
    bool m_bOpen;
    std::string m_strDefExt;
    std::string m_strFileName;
    DWORD m_dwFlags;
    std::string m_strFilter;
    std::string m_strInitialDir;
    std::string m_strTitle;
    std::string m_strPathName;
};

class CDocManagerEx {
public:
    // The filter offers each template that has a filter name and an extension
    // (the first one's extension is the default), then "All Files (*.*)".
    // fileName proposes a name and takes the chosen path; true for OK.
    static bool DoPromptFileName(std::string& fileName, const std::string& strTitle, DWORD dwFlags, bool bOpen,
                                 const std::vector<DocTemplate>& templates);
    static std::string BuildFilter(const std::vector<DocTemplate>& templates, std::string* pDefaultExt = nullptr);
};

} // namespace shell
