#include <windows.h>

#include <cstring>

#include "update/port_layer.h"

namespace velmora {

namespace {

HANDLE asHandle(PortLayer::Handle handle) { return reinterpret_cast<HANDLE>(handle); }

int lastError() { return static_cast<int>(GetLastError()); }

// The device path of a listed name: "\\.\" before it reaches COM10 and above too, which a bare
// name does not; a name that is already a device path is left as it is.
std::string devicePath(const std::string& name) {
    if (name.rfind("\\\\.\\", 0) == 0) return name;
    return "\\\\.\\" + name;
}

class Win32PortLayer final : public PortLayer {
public:
    Handle openDevice(const std::string& name, int& error) override {
        HANDLE h = CreateFileA(devicePath(name).c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                               OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
        if (h == INVALID_HANDLE_VALUE) {
            error = lastError();
            return invalidHandle;
        }
        return reinterpret_cast<Handle>(h);
    }

    bool isCharacterDevice(Handle handle) override {
        return GetFileType(asHandle(handle)) == FILE_TYPE_CHAR;
    }

    void closeDevice(Handle handle) override {
        // Fails harmlessly on a handle that is no port.
        PurgeComm(asHandle(handle), PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR);
        CloseHandle(asHandle(handle));
    }

    PortStatus setTimeouts(Handle handle) override {
        COMMTIMEOUTS t{};
        t.ReadIntervalTimeout = MAXDWORD;
        if (!SetCommTimeouts(asHandle(handle), &t)) return PortStatus::failure(lastError());
        return PortStatus::success();
    }

    PortStatus setLineSettings(Handle handle, const LineSettings& s) override {
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        if (!GetCommState(asHandle(handle), &dcb)) return PortStatus::failure(lastError());
        dcb.BaudRate = static_cast<DWORD>(s.baudRate);
        dcb.ByteSize = static_cast<BYTE>(s.dataBits);
        dcb.Parity = static_cast<BYTE>(s.parity);      // NOPARITY .. SPACEPARITY by ordinal
        dcb.StopBits = static_cast<BYTE>(s.stopBits);  // ONESTOPBIT .. TWOSTOPBITS by ordinal
        dcb.XonChar = s.chars.XonChar;
        dcb.XoffChar = s.chars.XoffChar;
        dcb.ErrorChar = s.chars.ErrorChar;
        dcb.EofChar = s.chars.EofChar;
        dcb.EvtChar = s.chars.EvtChar;
        dcb.XonLim = static_cast<WORD>(s.xonLimit);
        dcb.XoffLim = static_cast<WORD>(s.xoffLimit);
        switch (s.flowControl) {
            case TFlowControl::fcNone:
                dcb.fOutxCtsFlow = FALSE;
                dcb.fRtsControl = RTS_CONTROL_ENABLE;
                dcb.fOutxDsrFlow = FALSE;
                dcb.fDtrControl = DTR_CONTROL_ENABLE;
                dcb.fOutX = FALSE;
                dcb.fInX = FALSE;
                break;
            case TFlowControl::fcCTS:
                dcb.fOutxCtsFlow = TRUE;
                dcb.fRtsControl = RTS_CONTROL_HANDSHAKE;
                dcb.fOutX = FALSE;
                dcb.fInX = FALSE;
                break;
            case TFlowControl::fcDTR:
                dcb.fOutxDsrFlow = TRUE;
                dcb.fDtrControl = DTR_CONTROL_HANDSHAKE;
                dcb.fOutX = FALSE;
                dcb.fInX = FALSE;
                break;
            case TFlowControl::fcSoftware:
                dcb.fOutxCtsFlow = FALSE;
                dcb.fOutxDsrFlow = FALSE;
                dcb.fOutX = TRUE;
                dcb.fInX = TRUE;
                break;
            case TFlowControl::fcDefault:
                break;  // as found
        }
        dcb.fParity = s.options.contains(TCommOption::coParityCheck);
        dcb.fDsrSensitivity = s.options.contains(TCommOption::coDsrSensitivity);
        dcb.fTXContinueOnXoff = s.options.contains(TCommOption::coIgnoreXOff);
        dcb.fErrorChar = s.options.contains(TCommOption::coErrorChar);
        dcb.fNull = s.options.contains(TCommOption::coNullStrip);
        if (!SetCommState(asHandle(handle), &dcb)) return PortStatus::failure(lastError());
        return PortStatus::success();
    }

    PortStatus readLineSettings(Handle handle, LineSettings& settings, SavedLine* whole) override {
        DCB dcb{};
        dcb.DCBlength = sizeof dcb;
        if (!GetCommState(asHandle(handle), &dcb)) return PortStatus::failure(lastError());
        settings = LineSettings{};
        settings.baudRate = static_cast<int>(dcb.BaudRate);
        settings.dataBits = dcb.ByteSize;
        settings.parity = static_cast<TParity>(dcb.Parity);        // by ordinal, as written
        settings.stopBits = static_cast<TStopbits>(dcb.StopBits);  // by ordinal, as written
        if (whole) {
            whole->resize(sizeof dcb);
            std::memcpy(whole->data(), &dcb, sizeof dcb);
        }
        return PortStatus::success();
    }

    PortStatus restoreLine(Handle handle, const SavedLine& whole) override {
        DCB dcb{};
        if (whole.size() != sizeof dcb) return PortStatus::failure(ERROR_INVALID_PARAMETER);
        std::memcpy(&dcb, whole.data(), sizeof dcb);
        if (!SetCommState(asHandle(handle), &dcb)) return PortStatus::failure(lastError());
        return PortStatus::success();
    }

    // Windows has no pseudo-terminals: every port is a line that must keep what it is given.
    bool isPseudoTerminal(Handle) override { return false; }

    PortStatus setQueueSizes(Handle handle, std::int32_t input, std::int32_t output) override {
        if (!SetupComm(asHandle(handle), static_cast<DWORD>(input), static_cast<DWORD>(output))) {
            return PortStatus::failure(lastError());
        }
        return PortStatus::success();
    }

    PortStatus setDTR(Handle handle, bool state) override {
        if (!EscapeCommFunction(asHandle(handle), state ? SETDTR : CLRDTR)) {
            return PortStatus::failure(lastError());
        }
        return PortStatus::success();
    }
};

}  // namespace

std::shared_ptr<PortLayer> defaultPortLayer() {
    static const std::shared_ptr<PortLayer> layer = std::make_shared<Win32PortLayer>();
    return layer;
}

}  // namespace velmora
