// A progress box drawn on a terminal.
#include "TerminalProgressBox.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <sys/ioctl.h>
#include <unistd.h>

namespace auttool {

namespace {

// A terminal that understands cursor movement: "dumb" ones (editors' shells) print the
// control sequences as text.
bool IsCapableTerminal(std::FILE* out) {
    const char* term = std::getenv("TERM");
    return isatty(fileno(out)) != 0 && term != nullptr && *term != '\0' &&
           std::strcmp(term, "dumb") != 0;
}

constexpr int kBarWidth = 30;
constexpr const char* kEraseLine = "\r\033[K";

// UTF-8 text split into its characters (a stray continuation byte stays with its lead).
std::vector<std::string> Characters(const std::string& text) {
    std::vector<std::string> characters;
    for (unsigned char byte : text) {
        if ((byte & 0xC0) != 0x80 || characters.empty()) {
            characters.emplace_back();
        }
        characters.back() += static_cast<char>(byte);
    }
    return characters;
}

} // namespace

TerminalProgressBox::TerminalProgressBox()
    : TerminalProgressBox(stderr, IsCapableTerminal(stderr), std::chrono::milliseconds(200), [] {
        return std::chrono::steady_clock::now();
    }) {}

TerminalProgressBox::TerminalProgressBox(std::FILE* out,
                                         bool isTerminal,
                                         std::chrono::milliseconds interval,
                                         Clock clock)
    : f_out(out)
    , f_isTerminal(isTerminal)
    , f_interval(interval)
    , f_clock(std::move(clock)) {}

TerminalProgressBox::~TerminalProgressBox() {
    Finish();
}

void TerminalProgressBox::SetDialogType(eProgressBoxTypes type) {
    f_type = type;
    Changed();
}

void TerminalProgressBox::SetTitle(const I18NString& title) {
    f_title = title.c_str();
    Changed();
}

void TerminalProgressBox::SetTopBarDisplay(eProgressBoxDisplay display) {
    f_top.display = display;
    Changed();
}

void TerminalProgressBox::SetBottomBarDisplay(eProgressBoxDisplay display) {
    f_bottom.display = display;
    Changed();
}

void TerminalProgressBox::SetTopBarAnimation(const I18NString& animation) {
    f_top.animation = Characters(animation.c_str());
    f_top.frame = 0;
    Changed();
}

void TerminalProgressBox::SetBottomBarAnimation(const I18NString& animation) {
    f_bottom.animation = Characters(animation.c_str());
    f_bottom.frame = 0;
    Changed();
}

void TerminalProgressBox::SetTopInfoText(const I18NString& text) {
    f_top.info = text.c_str();
    Changed();
}

void TerminalProgressBox::SetTopStatusText(const I18NString& text) {
    f_top.status = text.c_str();
    Changed();
}

void TerminalProgressBox::SetMidStatusText(const I18NString& text) {
    f_mid.status = text.c_str();
    Changed();
}

void TerminalProgressBox::SetBottomInfoText(const I18NString& text) {
    f_bottom.info = text.c_str();
    Changed();
}

void TerminalProgressBox::SetBottomStatusText(const I18NString& text) {
    f_bottom.status = text.c_str();
    Changed();
}

void TerminalProgressBox::SetTopLimit(int limit) {
    f_top.limit = limit;
    Changed();
}

void TerminalProgressBox::SetMidLimit(int limit) {
    f_mid.limit = limit;
    Changed();
}

void TerminalProgressBox::SetBottomLimit(int limit) {
    f_bottom.limit = limit;
    Changed();
}

void TerminalProgressBox::SetTopValue(int value) {
    f_top.value = value;
    Changed();
}

void TerminalProgressBox::SetMidValue(int value) {
    f_mid.value = value;
    Changed();
}

void TerminalProgressBox::SetBottomValue(int value) {
    f_bottom.value = value;
    Changed();
}

void TerminalProgressBox::Finish() {
    if (f_finished) {
        return;
    }
    f_finished = true;
    if (!f_isTerminal) {
        return;
    }
    if (f_pending) {
        Draw();
    }
    Erase();
    std::fflush(f_out);
}

void TerminalProgressBox::Changed() {
    if (!f_isTerminal || f_finished) {
        return;
    }
    f_pending = true;
    const auto now = f_clock();
    // A terminal redrawn hundreds of times a second flickers and costs the writer its speed.
    if (f_drawCount == 0 || now - f_lastDraw >= f_interval) {
        f_lastDraw = now;
        Draw();
    }
}

void TerminalProgressBox::Draw() {
    std::vector<std::string> lines;
    if (!f_title.empty()) {
        lines.push_back(f_title);
    }
    const bool hasMid = f_type == kProgressBoxTypesTripleBar;
    const bool hasBottom = f_type != kProgressBoxTypesSingleBar;
    for (Bar* bar : {&f_top, hasMid ? &f_mid : nullptr, hasBottom ? &f_bottom : nullptr}) {
        if (bar == nullptr || bar->display == kProgressBoxDisplayHidden) {
            continue;
        }
        if (!bar->info.empty()) {
            lines.push_back("  " + bar->info);
        }
        lines.push_back(BarLine(*bar));
    }
    std::string frame;
    if (f_linesShown > 0) {
        frame += "\033[" + std::to_string(f_linesShown) + "A";
    }
    for (const std::string& line : lines) {
        frame += kEraseLine + Fit(line) + "\n";
    }
    // A box that lost lines since the last drawing leaves none of them behind.
    frame += "\033[J";
    std::fputs(frame.c_str(), f_out);
    std::fflush(f_out);
    f_linesShown = static_cast<int>(lines.size());
    f_pending = false;
    ++f_drawCount;
}

void TerminalProgressBox::Erase() {
    if (f_linesShown > 0) {
        std::fprintf(f_out, "\033[%dA\r\033[J", f_linesShown);
    }
    f_linesShown = 0;
}

std::string TerminalProgressBox::BarLine(Bar& bar) const {
    std::string line = "  ";
    if (bar.display == kProgressBoxDisplayAnimated) {
        if (!bar.animation.empty()) {
            line += bar.animation[bar.frame % bar.animation.size()];
            ++bar.frame;
        }
    } else {
        const long limit = std::max(bar.limit, 0);
        const long value = std::clamp(static_cast<long>(bar.value), 0L, limit);
        const long filled = limit == 0 ? 0 : value * kBarWidth / limit;
        const long percent = limit == 0 ? 0 : value * 100 / limit;
        line += "[" + std::string(filled, '#') + std::string(kBarWidth - filled, '.') + "] ";
        const std::string number = std::to_string(percent) + "%";
        line += std::string(4 - std::min<std::size_t>(number.size(), 4), ' ') + number;
    }
    if (!bar.status.empty()) {
        line += "  " + bar.status;
    }
    return line;
}

std::string TerminalProgressBox::Fit(const std::string& line) const {
    // A line that wraps would push the box down and break the redraw in place.
    winsize size{};
    std::size_t columns = 80;
    if (ioctl(fileno(f_out), TIOCGWINSZ, &size) == 0 && size.ws_col > 1) {
        columns = size.ws_col;
    }
    std::vector<std::string> characters = Characters(line);
    // A control character in a text (a newline, an escape) would break the frame too.
    for (std::string& character : characters) {
        const unsigned char first = static_cast<unsigned char>(character[0]);
        if (first < 0x20 || first == 0x7F) {
            character = " ";
        }
    }
    if (characters.size() >= columns) {
        characters.resize(columns - 1);
    }
    std::string fitted;
    for (const std::string& character : characters) {
        fitted += character;
    }
    return fitted;
}

} // namespace auttool
