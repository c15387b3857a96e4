#include "cli/stop_signals.h"

#include <windows.h>

#include "core/atomic_file.h"
#include "core/error.h"

namespace velmora::cli {

namespace {

// The event the console's stop events set, so the wait wakes up.
HANDLE stopEvent = nullptr;

BOOL WINAPI onConsoleEvent(DWORD type) {
    switch (type) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
        case CTRL_CLOSE_EVENT:
            if (stopEvent != nullptr) SetEvent(stopEvent);
            // Handled: the loop stops in its own time. After a close event Windows ends the process
            // once this returns, so give the loop a moment to save the node state first.
            if (type == CTRL_CLOSE_EVENT) Sleep(500);
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace

StopSignals::StopSignals() {
    HANDLE event = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (event == nullptr) {
        throw Error("Cannot create an event: " + systemErrorText(static_cast<int>(GetLastError())));
    }
    stopEvent = event;
    event_ = reinterpret_cast<io::Handle>(event);
    SetConsoleCtrlHandler(onConsoleEvent, TRUE);
}

StopSignals::~StopSignals() {
    SetConsoleCtrlHandler(onConsoleEvent, FALSE);
    stopEvent = nullptr;
    CloseHandle(reinterpret_cast<HANDLE>(event_));
}

io::Handle StopSignals::handle() const { return event_; }

}  // namespace velmora::cli
