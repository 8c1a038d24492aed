#include "platform/afx/Exceptions.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace {

TEST(FileExceptionTest, OsErrorsMapToCauses)
{
    const struct {
        int err;
        int cause;
    } cases[] = {
        {ENOENT, CFileException::fileNotFound}, {EACCES, CFileException::accessDenied},
        {ENOSPC, CFileException::diskFull},     {EMFILE, CFileException::tooManyOpenFiles},
        {EIO, CFileException::hardIO},          {EWOULDBLOCK, CFileException::sharingViolation},
        {0, CFileException::none},              {EPIPE, CFileException::genericException},
    };
    for (const auto& c : cases)
        EXPECT_EQ(CFileException::OsErrorToCause(c.err), c.cause) << c.err;
    CFileException e(CFileException::diskFull, ENOSPC, "/tmp/x.mme");
    EXPECT_EQ(e.GetErrorMessage(), "/tmp/x.mme: the disk is full");
    EXPECT_STREQ(e.what(), "/tmp/x.mme: the disk is full");
    EXPECT_TRUE(e.IsKindOf(RUNTIME_CLASS(CException)));
    EXPECT_FALSE(e.IsKindOf(RUNTIME_CLASS(CArchiveException)));
}

TEST(ArchiveExceptionTest, CauseAndFileNameInTheMessage)
{
    CArchiveException e(CArchiveException::badClass, "a.mme");
    EXPECT_EQ(e.GetErrorMessage(), "a.mme: unexpected object type in the file");
    EXPECT_TRUE(e.IsKindOf(RUNTIME_CLASS(CException)));
    const CException& base = e;
    EXPECT_STREQ(base.what(), "a.mme: unexpected object type in the file");
}

} // namespace
