#include "UTStringSupport.h"

const I18NLocale& AUT_DefaultLocale() {
    static const I18NLocale locale("en-us");
    return locale;
}

const I18NString& AUT_GetEmptyString() {
    static const I18NString empty;
    return empty;
}
