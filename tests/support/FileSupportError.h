#pragma once
// What a file-support exception carries, for the suites of the file and path helpers.
#include "UTException.h"

#include <gtest/gtest.h>
#include <string>

namespace auttest {

struct Thrown {
    std::string parameter; // the first message parameter: the error text
    std::string file;      // where it was thrown
};

// What the file-support exception that `action` throws carries; fails the test when it
// throws something else or nothing.
template <class Action> Thrown FileSupportError(Action&& action) {
    try {
        action();
    } catch (const AUT_Exception& e) {
        EXPECT_EQ(e.getErrorCode(), 800);
        EXPECT_EQ(e.getSeverity(), BrxSeverity(1));
        const auto* message = e.messageCount() == 0
                                  ? nullptr
                                  : dynamic_cast<const BrxMessageComponents*>(&e.messageAt(0));
        if (message == nullptr || message->getParameters().empty() || e.getBackTrace().empty()) {
            ADD_FAILURE() << "no numbered message with a parameter, or no back trace";
            return {};
        }
        EXPECT_EQ(message->getMessageNumber(), 0x7210C8B0u);
        return {message->getParameters()[0].c_str(), e.getBackTrace().front().file};
    }
    ADD_FAILURE() << "no AUT_Exception";
    return {};
}

} // namespace auttest
