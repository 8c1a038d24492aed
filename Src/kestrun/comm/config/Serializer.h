#pragma once
// Stores one serialisable object in a file of its own: the object's record and
// nothing else, through an archive.
#include "platform/afx/Object.h"
#include "platform/win/WinTypes.h"

#include <functional>
#include <string>

class COXSerializer {
public:
    // Shows a text to the user (a message box in the shell). Without one, texts go
    // to the standard error stream.
    using Notice = std::function<void(const std::string& text)>;

    explicit COXSerializer(Notice notice = {});

    // Takes a serialisable object (FALSE for any other) and clears the kept errors.
    // The object must outlive the loads and saves.
    BOOL Initialize(const std::string& fileName, CObject* pObject);
    // TRUE on success. With bReport a failure is shown to the user.
    BOOL Load(BOOL bReport = TRUE);
    BOOL Save(BOOL bReport = TRUE);

    // After a failure: the file exception's cause and OS error, or the archive
    // exception's cause (the other stays 0 / -1).
    int m_nFileCause = 0;
    LONG m_lOsError = -1;
    int m_nArchiveCause = 0;

private:
    void ClearErrors();
    void Report(const std::string& text) const;
    void KeepError(BOOL bReport);

    Notice m_notice;
    std::string m_strFileName;
    CObject* m_pObject = nullptr;
};
