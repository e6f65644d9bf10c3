#include "UTProgressBox.h"

template AUT_EXPORT AUT_RefPtr<AUT_I_ProgressBox>::AUT_RefPtr(AUT_I_ProgressBox* object);
template AUT_EXPORT AUT_RefPtr<AUT_I_ProgressBox>::~AUT_RefPtr();

AUT_I_ProgressBox::AUT_I_ProgressBox() = default;
AUT_I_ProgressBox::~AUT_I_ProgressBox() = default;

AUT_RefPtr<AUT_I_ProgressBox> AUT_I_ProgressBox::Create() {
    return AUT_RefPtr<AUT_I_ProgressBox>(new AUT_ProgressBox());
}

AUT_ProgressBox::AUT_ProgressBox() = default;
AUT_ProgressBox::~AUT_ProgressBox() = default;

void AUT_ProgressBox::SetDialogType(eProgressBoxTypes /*type*/) {}
void AUT_ProgressBox::SetTitle(const I18NString& /*title*/) {}
void AUT_ProgressBox::SetTopBarDisplay(eProgressBoxDisplay /*display*/) {}
void AUT_ProgressBox::SetBottomBarDisplay(eProgressBoxDisplay /*display*/) {}
void AUT_ProgressBox::SetTopBarAnimation(const I18NString& /*animation*/) {}
void AUT_ProgressBox::SetBottomBarAnimation(const I18NString& /*animation*/) {}
void AUT_ProgressBox::SetTopInfoText(const I18NString& /*text*/) {}
void AUT_ProgressBox::SetTopStatusText(const I18NString& /*text*/) {}
void AUT_ProgressBox::SetMidStatusText(const I18NString& /*text*/) {}
void AUT_ProgressBox::SetBottomInfoText(const I18NString& /*text*/) {}
void AUT_ProgressBox::SetBottomStatusText(const I18NString& /*text*/) {}
void AUT_ProgressBox::SetTopLimit(int /*limit*/) {}
void AUT_ProgressBox::SetMidLimit(int /*limit*/) {}
void AUT_ProgressBox::SetBottomLimit(int /*limit*/) {}
void AUT_ProgressBox::SetTopValue(int /*value*/) {}
void AUT_ProgressBox::SetMidValue(int /*value*/) {}
void AUT_ProgressBox::SetBottomValue(int /*value*/) {}
