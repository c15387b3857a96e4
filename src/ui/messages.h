#pragma once

#include <QString>
#include <exception>
#include <memory>
#include <string_view>

class QMessageBox;
class QWidget;

namespace velmora::ui {

// The application title: the caption of the plain box and of the failure report.
inline constexpr const char* kApplicationTitle = "Firmware Velmora";

// The three message boxes of the application. Dialogs receive one; tests plug in a recorder.
class MessageSink {
public:
    virtual ~MessageSink() = default;
    // Plain message box: application title as caption, no icon, one "OK".
    virtual void plain(const QString& text) = 0;
    // Error message box: caption "Error", error icon, one "OK".
    virtual void error(const QString& text) = 0;
    // Report of unexpected failures: application title as caption, error icon, one "OK";
    // `text` is shown as given (see reportFailure for the full-stop rule).
    virtual void failure(const QString& text) = 0;
};

// Shows `message` in the report of unexpected failures, with the full-stop rule applied.
void reportFailure(MessageSink& sink, std::string_view message);

// Runs `handler`; an exception ends it and is shown by the report of unexpected failures,
// so none crosses the event loop. Returns true when the handler ran to its end.
template <class Handler>
bool guarded(MessageSink& sink, Handler&& handler) {
    try {
        handler();
        return true;
    } catch (const std::exception& e) {
        reportFailure(sink, e.what());
    } catch (...) {
        reportFailure(sink, "Unknown failure");
    }
    return false;
}

// The three kinds of message box.
enum class MessageKind { Plain, Error, Failure };

// The message box of `kind` showing `text`, not yet shown: its caption and icon, the look of the
// windows and one "OK" button with the icon and flat look of the dialogs' OK buttons.
std::unique_ptr<QMessageBox> makeMessageBox(MessageKind kind, const QString& text,
                                            QWidget* parent = nullptr);

// The real message boxes, modal and centred over the active window.
class QtMessageSink : public MessageSink {
public:
    void plain(const QString& text) override;
    void error(const QString& text) override;
    void failure(const QString& text) override;
};

}  // namespace velmora::ui
