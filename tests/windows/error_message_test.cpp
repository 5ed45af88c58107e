// A failed system call on Windows leaves a Windows error code, whose numbers
// mean other things as errno values: 5 is "access denied" to the system and
// "input/output error" to strerror. The screenshot's reason must be the former.

#include "file_system.h"

#include <gtest/gtest.h>

#include <windows.h>

TEST(WindowsErrors, ASystemErrorIsToldInTheSystemsOwnWordsOnOneLine)
{
    const std::string said = error_message({ERROR_ACCESS_DENIED, std::system_category()});
    EXPECT_NE(said.find("denied"), std::string::npos) << said;
    EXPECT_EQ(said.find_first_of("\r\n"), std::string::npos) << said;
}
