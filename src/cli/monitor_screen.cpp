#include "cli/monitor_screen.h"

#include <curses.h>

#include <algorithm>

namespace velmora::cli {

namespace {

constexpr short kChangedPair = 1;

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

void LiveScreen::draw() {
    erase();
    const int rows = std::max(LINES - 1, 1);
    const int most = std::max(static_cast<int>(lines_.size()) - rows, 0);
    top_ = std::clamp(top_, 0, most);
    const attr_t changed = has_colors() ? COLOR_PAIR(kChangedPair) | A_BOLD : A_REVERSE;
    for (int row = 0; row < rows && top_ + row < static_cast<int>(lines_.size()); ++row) {
        const ScreenLine& line = lines_[static_cast<std::size_t>(top_ + row)];
        // The first line (the heading) stays in place; the rest scroll.
        const ScreenLine& shown = row == 0 ? lines_.front() : line;
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
    mvaddnstr(LINES - 1, 0, (status_ + "  (q quits)").c_str(), COLS);
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
                --top_;
                break;
            case KEY_DOWN:
                ++top_;
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
