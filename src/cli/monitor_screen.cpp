#include "cli/monitor_screen.h"

#include <curses.h>

#include <algorithm>

namespace velmora::cli {

namespace {

constexpr short kChangedPair = 1;

// One sideways step: eight node bytes of three columns each.
constexpr int kSidewaysStep = 24;

// What the status line says about the keys.
constexpr char kKeysHelp[] = "  (arrows, h j k l scroll; q quits)";

}  // namespace

LiveScreen::LiveScreen() {
    initscr();
    cbreak();
    noecho();
    nodelay(stdscr, TRUE);
    keypad(stdscr, TRUE);
    curs_set(0);
    if (has_colors()) {
        start_color();
        use_default_colors();
        init_pair(kChangedPair, COLOR_BLACK, COLOR_YELLOW);
    }
}

LiveScreen::~LiveScreen() { endwin(); }

void LiveScreen::show(const std::vector<ScreenLine>& lines, const std::string& status) {
    lines_ = lines;
    status_ = status;
    draw();
}

void LiveScreen::showStatus(const std::string& status) {
    status_ = status;
    draw();
}

void LiveScreen::draw() {
    erase();
    const int rows = std::max(LINES - 1, 1);
    const int most = std::max(static_cast<int>(lines_.size()) - rows, 0);
    top_ = std::clamp(top_, 0, most);
    std::size_t widest = 0;
    for (const ScreenLine& line : lines_) widest = std::max(widest, line.text.size());
    // Whole steps only, so that the bytes stay in their columns under the ruler.
    const int beyond = std::max(static_cast<int>(widest) - COLS / 2, 0);
    left_ = std::clamp(left_, 0, (beyond + kSidewaysStep - 1) / kSidewaysStep * kSidewaysStep);
    const attr_t changed = has_colors() ? COLOR_PAIR(kChangedPair) | A_BOLD : A_REVERSE;
    for (int row = 0; row < rows && top_ + row < static_cast<int>(lines_.size()); ++row) {
        // The first line (the heading) stays in place; the rest scroll.
        const ScreenLine shown = scrolledSideways(
            row == 0 ? lines_.front() : lines_[static_cast<std::size_t>(top_ + row)],
            static_cast<std::size_t>(left_));
        if (shown.heading) attron(A_BOLD);
        mvaddnstr(row, 0, shown.text.c_str(), COLS);
        if (shown.heading) attroff(A_BOLD);
        for (const auto& [from, to] : shown.highlights) {
            if (static_cast<int>(from) >= COLS) continue;
            attron(changed);
            mvaddnstr(row, static_cast<int>(from), shown.text.c_str() + from,
                      static_cast<int>(std::min<std::size_t>(to - from, COLS - from)));
            attroff(changed);
        }
    }
    attron(A_REVERSE);
    mvaddnstr(LINES - 1, 0, (status_ + kKeysHelp).c_str(), COLS);
    attroff(A_REVERSE);
    refresh();
}

bool LiveScreen::keys() {
    bool redraw = false;
    for (int key; (key = getch()) != ERR;) {
        switch (key) {
            case 'q':
            case 'Q':
                return true;
            case KEY_UP:
            case 'k':
                --top_;
                break;
            case KEY_DOWN:
            case 'j':
                ++top_;
                break;
            case KEY_LEFT:
            case 'h':
                left_ -= kSidewaysStep;
                break;
            case KEY_RIGHT:
            case 'l':
                left_ += kSidewaysStep;
                break;
            case KEY_PPAGE:
                top_ -= LINES - 2;
                break;
            case KEY_NPAGE:
            case ' ':
                top_ += LINES - 2;
                break;
            case KEY_HOME:
                top_ = 0;
                left_ = 0;
                break;
            default:
                break;
        }
        redraw = true;
    }
    if (redraw) draw();
    return false;
}

}  // namespace velmora::cli
