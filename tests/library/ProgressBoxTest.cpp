#include "UTProgressBox.h"

#include <climits>
#include <gtest/gtest.h>

namespace {

// A consumer's own box: counts what reaches it and when it is destroyed.
class CountingBox : public AUT_I_ProgressBox {
public:
    explicit CountingBox(int& destroyed)
        : f_destroyed(destroyed) {}
    ~CountingBox() override { ++f_destroyed; }
    void SetDialogType(eProgressBoxTypes) override {}
    void SetTitle(const I18NString&) override {}
    void SetTopBarDisplay(eProgressBoxDisplay) override {}
    void SetBottomBarDisplay(eProgressBoxDisplay) override {}
    void SetTopBarAnimation(const I18NString&) override {}
    void SetBottomBarAnimation(const I18NString&) override {}
    void SetTopInfoText(const I18NString&) override {}
    void SetTopStatusText(const I18NString&) override {}
    void SetMidStatusText(const I18NString&) override {}
    void SetBottomInfoText(const I18NString&) override {}
    void SetBottomStatusText(const I18NString&) override {}
    void SetTopLimit(int limit) override { f_topLimit = limit; }
    void SetMidLimit(int) override {}
    void SetBottomLimit(int) override {}
    void SetTopValue(int) override {}
    void SetMidValue(int) override {}
    void SetBottomValue(int) override {}

    int f_topLimit = 0;

private:
    int& f_destroyed;
};

TEST(ProgressBox, ADerivedBoxIsDeletedOnceThroughTheInterface) {
    int destroyed = 0;
    {
        AUT_RefPtr<AUT_I_ProgressBox> box(new CountingBox(destroyed));
        AUT_RefPtr<AUT_I_ProgressBox> copy(box);
        copy->SetTopLimit(10);
        EXPECT_EQ(static_cast<CountingBox&>(*box).f_topLimit, 10);
        EXPECT_EQ(box.useCount(), 2u);
    }
    EXPECT_EQ(destroyed, 1);
}

TEST(ProgressBox, TheSilentBoxTakesAnyCallAndEachCreateIsNew) {
    AUT_RefPtr<AUT_I_ProgressBox> first = AUT_I_ProgressBox::Create();
    AUT_RefPtr<AUT_I_ProgressBox> second = AUT_I_ProgressBox::Create();
    ASSERT_TRUE(first);
    EXPECT_NE(first, second);
    EXPECT_EQ(first.useCount(), 1u);
    EXPECT_NO_THROW({
        first->SetDialogType(static_cast<AUT_I_ProgressBox::eProgressBoxTypes>(-1));
        first->SetTitle("");
        first->SetTopBarDisplay(AUT_I_ProgressBox::kProgressBoxDisplayHidden);
        first->SetTopLimit(-5);
        first->SetTopValue(INT_MAX);
        first->SetMidLimit(INT_MIN);
        first->SetBottomValue(0);
        first->SetBottomStatusText(I18NString(U"\U0001F600"));
    });
}

} // namespace
