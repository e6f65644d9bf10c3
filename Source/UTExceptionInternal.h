#pragma once
// The message bound to the library's own catalog.
#include "AUTExport.h"

#include <BrxMessage.h>
#include <cstdint>

// A numbered message of the library's catalog "utmsgs".
class AUT_TESTABLE UTMessage : public BrxMessage {
public:
    explicit UTMessage(std::uint32_t messageNumber);
    ~UTMessage() override;
};
