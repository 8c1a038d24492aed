#include "kestrun/shell/app/FileDialogEx.h"

#include <filesystem>

#include "kestrun/shell/app/MessageBox.h"

namespace shell {

CFileDialogEx::CFileDialogEx(bool bOpenFileDialog, std::string strDefExt, std::string strFileName, DWORD dwFlags,
                             std::string strFilter)
    : m_bOpen(bOpenFileDialog), m_strDefExt(std::move(strDefExt)), m_strFileName(std::move(strFileName)),
      m_dwFlags(dwFlags), m_strFilter(std::move(strFilter))
{
}

int CFileDialogEx::DoModal()
{
    FileDialogRequest request;
    request.bSave = !m_bOpen;
    request.strDefaultExt = m_strDefExt == "*" ? std::string() : m_strDefExt;
    request.strFilter = m_strFilter;
    request.strFileName = m_strFileName;
    request.strFolder = m_strInitialDir;
    std::error_code ec;
    if (!m_strInitialDir.empty() && std::filesystem::is_regular_file(m_strInitialDir, ec)) {
        const std::filesystem::path start(m_strInitialDir);
        request.strFolder = start.parent_path().string();
        if (request.strFileName.empty())
            request.strFileName = start.filename().string();
    }
    request.bOverwritePrompt = (m_dwFlags & OFN_OVERWRITEPROMPT) != 0;
    request.strTitle = m_strTitle;
    std::string path;
    if (!ShowFileDialog(request, path))
        return IDCANCEL;
    m_strPathName = path;
    return IDOK;
}

std::string CDocManagerEx::BuildFilter(const std::vector<DocTemplate>& templates, std::string* pDefaultExt)
{
    std::string filter;
    for (const DocTemplate& t : templates) {
        if (t.strFilterName.empty() || t.strFilterExt.empty())
            continue;
        if (pDefaultExt && pDefaultExt->empty())
            *pDefaultExt = t.strFilterExt.front() == '.' ? t.strFilterExt.substr(1) : t.strFilterExt;
        filter += t.strFilterName + "|*" + t.strFilterExt + "|";
    }
    return filter + "All Files (*.*)|*.*||";
}

bool CDocManagerEx::DoPromptFileName(std::string& fileName, const std::string& strTitle, DWORD dwFlags, bool bOpen,
                                     const std::vector<DocTemplate>& templates)
{
    std::string defaultExt;
    const std::string filter = BuildFilter(templates, &defaultExt);
    CFileDialogEx dialog(bOpen, defaultExt, fileName, OFN_HIDEREADONLY | OFN_OVERWRITEPROMPT | dwFlags, filter);
    dialog.SetTitle(strTitle);
    if (dialog.DoModal() != IDOK)
        return false;
    fileName = dialog.GetPathName();
    return true;
}

} // namespace shell
