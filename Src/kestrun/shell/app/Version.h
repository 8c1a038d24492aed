#pragma once
// The framework's version in the forms the shell uses: registry keys, folder
// names and the welcome line. The minor version carries two digits, read as
// minor / 10 and minor % 10 (4.51 is version 4.5.1).
#include <string>

#include "platform/afx/Object.h"

// "ver%d.%d" (short) or "ver%d.%d.%d".
std::string GetVersionString(int bShort);

class CdsVersion : public CObject {
public:
    CdsVersion();

    const std::string& GetVersionText() const { return m_strVersion; }
    unsigned GetMajor() const { return m_nMajor; }
    unsigned GetMinor() const { return m_nMinor; }
    // The texts of the version record's first translation.
    const std::string& GetLanguageName() const { return m_strLanguage; }
    const std::string& GetLegalCopyright() const { return m_strCopyright; }
    const std::string& GetFileDescription() const { return m_strDescription; }

private:
    unsigned m_nMajor;
    unsigned m_nMinor;
    std::string m_strVersion;
    std::string m_strLanguage;
    std::string m_strCopyright;
    std::string m_strDescription;
};
