#pragma once
// Exceptions of the file and archive layer. They are thrown by value and caught by
// reference (catch (const CArchiveException& e)); loaders catch CException for both.
// They are objects with run-time classes, so a port's own file exception can be
// told apart with IsKindOf.
#include "platform/afx/Object.h"
#include "platform/win/WinTypes.h"

#include <exception>
#include <string>

class CException : public CObject, public std::exception {
    DECLARE_DYNAMIC(CException)
public:
    // A short English text for logs and message boxes.
    virtual std::string GetErrorMessage() const = 0;
    const char* what() const noexcept override;

protected:
    mutable std::string m_what;
};

class CFileException : public CException {
    DECLARE_DYNAMIC(CFileException)
public:
    enum Cause {
        none = 0,
        genericException = 1,
        fileNotFound = 2,
        badPath = 3,
        tooManyOpenFiles = 4,
        accessDenied = 5,
        invalidFile = 6,
        removeCurrentDir = 7,
        directoryFull = 8,
        badSeek = 9,
        hardIO = 10,
        sharingViolation = 11,
        lockViolation = 12,
        diskFull = 13,
        endOfFile = 14,
    };

    explicit CFileException(int cause = none, LONG lOsError = -1, std::string fileName = {});

    // The cause an errno value stands for (genericException when none fits).
    static int OsErrorToCause(int osError);
    [[noreturn]] static void ThrowOsError(int osError, const std::string& fileName = {});

    std::string GetErrorMessage() const override;

    int m_cause;
    LONG m_lOsError;
    std::string m_strFileName;
};

class CArchiveException : public CException {
    DECLARE_DYNAMIC(CArchiveException)
public:
    enum Cause {
        none = 0,
        genericException = 1,
        readOnly = 2,
        endOfFile = 3,
        writeOnly = 4,
        badIndex = 5,
        badClass = 6,
        badSchema = 7,
        bufferFull = 8,
    };

    explicit CArchiveException(int cause = none, std::string fileName = {});

    std::string GetErrorMessage() const override;

    int m_cause;
    std::string m_strFileName;
};
