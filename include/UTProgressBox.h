#pragma once
// Progress reporting through an abstract dialog, and the silent box for where there is none.
#include "AUTExport.h"
#include "UTRefPtr.h"

#include <I18NString.h>

// A dialog with a title, three bars (top, middle, bottom) with limits and values, animations
// for the top and bottom bars, and information and status texts. What a displaying
// implementation makes of the values is its own affair; the library passes them through.
// Derive from it to display progress: the constructor and destructor are exported.
class AUT_EXPORT AUT_I_ProgressBox {
public:
    enum eProgressBoxTypes {
        kProgressBoxTypesSingleBar = 0, // the top bar only
        kProgressBoxTypesDoubleBar = 1, // top and bottom bars
        kProgressBoxTypesTripleBar = 2  // all three bars
    };
    enum eProgressBoxDisplay {
        kProgressBoxDisplayPercent = 0,  // the bar shows value / limit
        kProgressBoxDisplayAnimated = 1, // the bar shows its animation, no value
        kProgressBoxDisplayHidden = 2
    };

    virtual ~AUT_I_ProgressBox();

    virtual void SetDialogType(eProgressBoxTypes type) = 0;
    virtual void SetTitle(const I18NString& title) = 0;
    virtual void SetTopBarDisplay(eProgressBoxDisplay display) = 0;
    virtual void SetBottomBarDisplay(eProgressBoxDisplay display) = 0;
    virtual void SetTopBarAnimation(const I18NString& animation) = 0;
    virtual void SetBottomBarAnimation(const I18NString& animation) = 0;
    virtual void SetTopInfoText(const I18NString& text) = 0;
    virtual void SetTopStatusText(const I18NString& text) = 0;
    virtual void SetMidStatusText(const I18NString& text) = 0;
    virtual void SetBottomInfoText(const I18NString& text) = 0;
    virtual void SetBottomStatusText(const I18NString& text) = 0;
    virtual void SetTopLimit(int limit) = 0;
    virtual void SetMidLimit(int limit) = 0;
    virtual void SetBottomLimit(int limit) = 0;
    virtual void SetTopValue(int value) = 0;
    virtual void SetMidValue(int value) = 0;
    virtual void SetBottomValue(int value) = 0;

    // A new silent box (AUT_ProgressBox) with count 1.
    static AUT_RefPtr<AUT_I_ProgressBox> Create();

protected:
    AUT_I_ProgressBox();
};

// The counted pointer's constructor and destructor for this interface live in libaut.
extern template AUT_EXPORT AUT_RefPtr<AUT_I_ProgressBox>::AUT_RefPtr(AUT_I_ProgressBox* object);
extern template AUT_EXPORT AUT_RefPtr<AUT_I_ProgressBox>::~AUT_RefPtr();

// Shows nothing: every operation returns at once, whatever its argument, and never throws.
// For code that reports progress where no user interface exists.
class AUT_EXPORT AUT_ProgressBox : public AUT_I_ProgressBox {
public:
    AUT_ProgressBox();
    ~AUT_ProgressBox() override;

    void SetDialogType(eProgressBoxTypes type) override;
    void SetTitle(const I18NString& title) override;
    void SetTopBarDisplay(eProgressBoxDisplay display) override;
    void SetBottomBarDisplay(eProgressBoxDisplay display) override;
    void SetTopBarAnimation(const I18NString& animation) override;
    void SetBottomBarAnimation(const I18NString& animation) override;
    void SetTopInfoText(const I18NString& text) override;
    void SetTopStatusText(const I18NString& text) override;
    void SetMidStatusText(const I18NString& text) override;
    void SetBottomInfoText(const I18NString& text) override;
    void SetBottomStatusText(const I18NString& text) override;
    void SetTopLimit(int limit) override;
    void SetMidLimit(int limit) override;
    void SetBottomLimit(int limit) override;
    void SetTopValue(int value) override;
    void SetMidValue(int value) override;
    void SetBottomValue(int value) override;

private:
    I18NString f_text; // empty, never changed: kept for the layout displaying boxes share
};
