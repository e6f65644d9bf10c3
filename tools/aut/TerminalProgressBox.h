#pragma once
// A progress box drawn on a terminal: a title line and up to three bars with their texts,
// redrawn in place a few times a second.
#include "UTProgressBox.h"

#include <chrono>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

namespace auttool {

// Draws on `out` only when `out` is a terminal (isatty, and $TERM set and not "dumb"), so
// that output piped or redirected to a file gets no control sequences; otherwise every operation
// only records its value. A change is drawn at once when the last drawing is at least the interval
// old; changes in between are drawn with the next one that passes, or by Finish. Finish (also run
// by the destructor) draws the last state and erases the box, leaving the cursor where it began.
// Not thread-safe: one thread drives a box.
//
// How the values show: a bar in kProgressBoxDisplayPercent is "[####....]  45%" of its value
// over its limit (a limit of 0 or less shows an empty bar; values are clamped to 0..limit);
// in kProgressBoxDisplayAnimated it shows the next character of its animation text on each
// drawing ("|/-\" unless set); kProgressBoxDisplayHidden hides the bar and its texts. The
// dialog type says how many bars there are: single (top), double (top and bottom), triple.
class TerminalProgressBox : public AUT_I_ProgressBox {
public:
    using Clock = std::function<std::chrono::steady_clock::time_point()>;

    // Draws on standard error, at most five times a second.
    TerminalProgressBox();
    // For tests: any stream, whether it counts as a terminal, the interval and the clock.
    TerminalProgressBox(std::FILE* out,
                        bool isTerminal,
                        std::chrono::milliseconds interval,
                        Clock clock);
    ~TerminalProgressBox() override;

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

    // Draws the last state if it was not drawn yet, then erases the box.
    void Finish();
    // Number of drawings made so far (for tests and for callers that want to know).
    int DrawCount() const { return f_drawCount; }

private:
    struct Bar {
        eProgressBoxDisplay display = kProgressBoxDisplayPercent;
        std::vector<std::string> animation{"|", "/", "-", "\\"}; // one frame per character
        std::string info;
        std::string status;
        int limit = 0;
        int value = 0;
        std::size_t frame = 0;
    };

    void Changed();
    void Draw();
    void Erase();
    std::string BarLine(Bar& bar) const;
    std::string Fit(const std::string& line) const;

    std::FILE* f_out;
    bool f_isTerminal;
    std::chrono::milliseconds f_interval;
    Clock f_clock;
    std::chrono::steady_clock::time_point f_lastDraw;
    bool f_pending = false;
    bool f_finished = false;
    int f_drawCount = 0;
    int f_linesShown = 0; // lines of the box now on the terminal, above the cursor

    eProgressBoxTypes f_type = kProgressBoxTypesSingleBar;
    std::string f_title;
    Bar f_top;
    Bar f_mid;
    Bar f_bottom;
};

} // namespace auttool
