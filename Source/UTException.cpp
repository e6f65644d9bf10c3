#include "UTException.h"

#include "UTExceptionInternal.h"

namespace {

// Made once, never freed: every UTMessage refers to it.
const I18NString& GetMessageFileName() {
    static const I18NString* name = new I18NString("utmsgs");
    return *name;
}

} // namespace

UTMessage::UTMessage(std::uint32_t messageNumber)
    : BrxMessage(GetMessageFileName(), messageNumber) {}

UTMessage::~UTMessage() = default;

I18NString AUT_GetErrorComponent() {
    return I18NString();
}

I18NString AUT_GetSystemErrorComponent() {
    return I18NString();
}
