#include "modbus/frame_assembler.h"

#include <algorithm>

#include "modbus/protocol.h"

namespace velmora::modbus {

namespace {

// The longest frames: RTU unit, PDU and CRC; TCP MBAP header and PDU; ASCII ":", the hex pairs
// of unit, PDU and LRC, CR LF.
constexpr std::size_t kMaxRtuFrame = 1 + kMaxPduSize + 2;
constexpr std::size_t kMbapHeader = 7;
constexpr std::size_t kMaxAsciiText = 2 * (1 + kMaxPduSize + 1) + 1;  // with the CR

int hexValue(std::uint8_t c) {
    if (c >= '0' && c <= '9') return c - '0';
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    return -1;
}

Assembled failed(std::string reason) { return {std::nullopt, std::move(reason)}; }

Assembled whole(std::uint8_t unit, std::span<const std::uint8_t> pdu,
                std::uint16_t transaction = 0) {
    return {Adu{transaction, unit, {pdu.begin(), pdu.end()}}, {}};
}

}  // namespace

std::vector<std::size_t> rtuFrameLengths(std::span<const std::uint8_t> head, Expect expect) {
    std::vector<std::size_t> lengths;
    if (head.size() < 2) return lengths;
    const std::uint8_t function = head[1];
    bool undecided = false;
    // The frame's length as a request (`request` true) or as an answer, when that is expected.
    bool request = true;
    const auto add = [&](std::size_t length) {
        if (expect == Expect::Any || (expect == Expect::Requests) == request) {
            lengths.push_back(length);
        }
    };
    // A byte count at `at` followed by that many bytes and the CRC; unknown until it is there.
    const auto counted = [&](std::size_t at) {
        if (expect != Expect::Any && (expect == Expect::Requests) != request) return;
        if (head.size() > at) {
            add(at + 1 + head[at] + 2);
        } else {
            undecided = true;
        }
    };
    // The lengths added after this are an answer's.
    const auto asAnswer = [&] { request = false; };
    if (function & kExceptionBit) {
        asAnswer();
        add(5);  // unit, function, exception code, CRC
        return lengths;
    }
    switch (function) {
        case 1:
        case 2:
        case 3:
        case 4:
            add(8);  // request: address, count
            asAnswer();
            counted(2);  // answer: byte count, bytes
            break;
        case 5:
        case 6:
        case 8:
            add(8);  // request and answer alike
            asAnswer();
            add(8);
            break;
        case 7:
            add(4);
            asAnswer();
            add(5);
            break;
        case 11:
            add(4);
            asAnswer();
            add(8);
            break;
        case 12:
        case 17:
            add(4);
            asAnswer();
            counted(2);
            break;
        case 15:
        case 16:
            counted(6);  // request: address, count, byte count, bytes
            asAnswer();
            add(8);  // answer: address, count
            break;
        case 20:
        case 21:
            counted(2);
            asAnswer();
            counted(2);
            break;
        case 22:
            add(10);
            asAnswer();
            add(10);
            break;
        case 23:
            counted(10);  // request
            asAnswer();
            counted(2);  // answer
            break;
        case 24:
            add(6);
            asAnswer();
            counted(3);  // answer: a two-byte byte count, whose low byte is enough up to 253
            break;
        default:
            break;
    }
    if (undecided) return {};
    std::sort(lengths.begin(), lengths.end());
    lengths.erase(std::unique(lengths.begin(), lengths.end()), lengths.end());
    return lengths;
}

std::vector<Assembled> FrameAssembler::feed(std::span<const std::uint8_t> bytes) {
    std::vector<Assembled> out;
    for (const std::uint8_t byte : bytes) {
        if (broken_) break;
        switch (framing_) {
            case Framing::Rtu:
                feedRtu(byte, out);
                break;
            case Framing::Ascii:
                feedAscii(byte, out);
                break;
            case Framing::Tcp:
                feedTcp(byte, out);
                break;
        }
    }
    return out;
}

std::vector<Assembled> FrameAssembler::silence() {
    std::vector<Assembled> out;
    if (framing_ != Framing::Rtu) return out;
    discarding_ = false;
    if (buffer_.empty()) return out;
    if (!takeRtu(buffer_.size(), out)) {
        out.push_back(failed(buffer_.size() < 4 ? "a frame cut short (" +
                                                      std::to_string(buffer_.size()) + " bytes)"
                                                : "bad CRC"));
    }
    buffer_.clear();
    return out;
}

bool FrameAssembler::takeRtu(std::size_t length, std::vector<Assembled>& out) {
    if (length < 4 || length > buffer_.size()) return false;
    const std::span<const std::uint8_t> frame(buffer_.data(), length);
    const std::uint16_t crc = crc16(frame.first(length - 2));
    if ((crc & 0xFF) != frame[length - 2] || (crc >> 8) != frame[length - 1]) return false;
    out.push_back(whole(frame[0], frame.subspan(1, length - 3)));
    buffer_.erase(buffer_.begin(), buffer_.begin() + static_cast<std::ptrdiff_t>(length));
    return true;
}

void FrameAssembler::feedRtu(std::uint8_t byte, std::vector<Assembled>& out) {
    if (discarding_) return;
    buffer_.push_back(byte);
    const std::vector<std::size_t> lengths = rtuFrameLengths(buffer_, expect_);
    for (const std::size_t length : lengths) {
        if (length == buffer_.size() && takeRtu(length, out)) return;
    }
    // Every length the frame may have is passed and none had its CRC: the frame is bad, and
    // where the next one starts is known only at the next silence.
    const bool passedAll = !lengths.empty() && lengths.back() <= buffer_.size();
    if (passedAll || buffer_.size() >= kMaxRtuFrame) {
        out.push_back(failed(passedAll ? "bad CRC" : "a frame longer than 256 bytes"));
        buffer_.clear();
        discarding_ = true;
    }
}

void FrameAssembler::feedAscii(std::uint8_t byte, std::vector<Assembled>& out) {
    if (byte == ':') {
        if (!buffer_.empty() && !discarding_) out.push_back(failed("a frame cut by a new \":\""));
        buffer_.assign(1, ':');
        discarding_ = false;
        return;
    }
    if (buffer_.empty() || discarding_) return;  // outside a frame
    if (byte == '\n' && buffer_.back() == '\r') {
        buffer_.pop_back();
        finishAscii(out);
        return;
    }
    if (buffer_.back() == '\r') {
        out.push_back(failed("CR not followed by LF"));
        discarding_ = true;
        return;
    }
    if (byte != '\r' && hexValue(byte) < 0) {
        out.push_back(failed("a character that is not a hexadecimal digit"));
        discarding_ = true;
        return;
    }
    if (buffer_.size() > kMaxAsciiText) {
        out.push_back(failed("a frame longer than 513 characters"));
        discarding_ = true;
        return;
    }
    buffer_.push_back(byte);
}

void FrameAssembler::finishAscii(std::vector<Assembled>& out) {
    const std::span<const std::uint8_t> text(buffer_.data() + 1, buffer_.size() - 1);
    std::vector<std::uint8_t> bytes;
    if (text.size() % 2 != 0) {
        out.push_back(failed("an odd number of hexadecimal digits"));
    } else {
        for (std::size_t i = 0; i < text.size(); i += 2) {
            bytes.push_back(
                static_cast<std::uint8_t>(hexValue(text[i]) << 4 | hexValue(text[i + 1])));
        }
        if (bytes.size() < 3) {
            out.push_back(failed("a frame cut short (" + std::to_string(bytes.size()) + " bytes)"));
        } else if (lrc(std::span(bytes).first(bytes.size() - 1)) != bytes.back()) {
            out.push_back(failed("bad LRC"));
        } else {
            out.push_back(whole(bytes[0], std::span(bytes).subspan(1, bytes.size() - 2)));
        }
    }
    buffer_.clear();
}

void FrameAssembler::feedTcp(std::uint8_t byte, std::vector<Assembled>& out) {
    buffer_.push_back(byte);
    if (buffer_.size() < kMbapHeader) return;
    const std::size_t protocol = buffer_[2] << 8 | buffer_[3];
    const std::size_t length = buffer_[4] << 8 | buffer_[5];  // unit and PDU
    if (buffer_.size() == kMbapHeader) {
        if (protocol != 0 || length < 2 || length > 1 + kMaxPduSize) {
            out.push_back(failed(
                protocol != 0 ? "protocol " + std::to_string(protocol) + " in the MBAP header"
                              : "length " + std::to_string(length) + " in the MBAP header"));
            buffer_.clear();
            broken_ = true;
            return;
        }
    }
    if (buffer_.size() < 6 + length) return;
    const auto transaction = static_cast<std::uint16_t>(buffer_[0] << 8 | buffer_[1]);
    out.push_back(whole(buffer_[6], std::span(buffer_).subspan(kMbapHeader), transaction));
    buffer_.clear();
}

}  // namespace velmora::modbus
