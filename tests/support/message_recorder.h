#pragma once

#include <QString>
#include <vector>

#include "ui/messages.h"

namespace velmora::test {

// Records every message box instead of showing it, so a test can assert kind and exact text.
class MessageRecorder : public ui::MessageSink {
public:
    enum class Kind { Plain, Error, Failure };
    struct Message {
        Kind kind;
        QString text;
        bool operator==(const Message&) const = default;
    };

    void plain(const QString& text) override { messages.push_back({Kind::Plain, text}); }
    void error(const QString& text) override { messages.push_back({Kind::Error, text}); }
    void failure(const QString& text) override { messages.push_back({Kind::Failure, text}); }

    std::vector<Message> messages;
};

}  // namespace velmora::test
