#pragma once
// What a file-support exception carries, for the suites of the file and path helpers.
#include "AutTestSupport.h"

namespace auttest {

// The exception that `action` throws, checked to be the file helpers' own: error 800 of
// severity 1, message 0x7210C8B0 with the error text as its first parameter, and a back trace.
template <class Action> Thrown FileSupportError(Action&& action) {
    Thrown thrown = Catch(action);
    EXPECT_EQ(thrown.code, 800);
    EXPECT_EQ(thrown.severity, 1);
    EXPECT_EQ(thrown.number, 0x7210C8B0u);
    EXPECT_FALSE(thrown.parameters.empty());
    EXPECT_FALSE(thrown.file.empty());
    return thrown;
}

} // namespace auttest
