#pragma once

#include <string>
#include <vector>

#include "cli/monitor_report.h"

namespace velmora::cli {

// The live table on the terminal, drawn in place with ncurses: the table's lines with their
// highlights, scrolled up and down with the arrow and page keys (or j, k) and sideways with the
// left and right arrows (or h, l), a node's number, ID and mnemonic staying in place; the status
// line at the bottom. The terminal is given back as it was when the screen ends.
class LiveScreen {
public:
    LiveScreen();
    ~LiveScreen();
    LiveScreen(const LiveScreen&) = delete;
    LiveScreen& operator=(const LiveScreen&) = delete;

    void show(const std::vector<ScreenLine>& lines, const std::string& status);
    // Replaces the status line alone (while the link is down, the table stays as it was).
    void showStatus(const std::string& status);

    // Takes the keys typed so far: scrolls, redraws after a resize; true once "q" was typed.
    bool keys();

private:
    void draw();

    std::vector<ScreenLine> lines_;
    std::string status_;
    int top_ = 0;   // the first table line shown
    int left_ = 0;  // the columns scrolled sideways
};

}  // namespace velmora::cli
