#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>
#include <system_error>
#include <utility>

namespace velmora {

// A failure a command does not handle itself; what() is the text shown to the user.
class Error : public std::runtime_error {
public:
    explicit Error(const std::string& message) : std::runtime_error(message) {}
};

// A failure of a system call: what() is the text shown, code() the platform's code behind it
// (an errno value in the generic category, a Win32 code in the system category).
class SystemError : public Error {
public:
    SystemError(std::error_code code, const std::string& message) : Error(message), code_(code) {}
    const std::error_code& code() const noexcept { return code_; }

private:
    std::error_code code_;
};

// The C library's text for the errno value `code`, the same on every platform.
inline std::string systemErrorText(int code) { return std::generic_category().message(code); }

// The platform's text for a code its own calls report: a Win32 or Winsock code on Windows (the
// port layer, sockets), an errno value elsewhere.
inline std::string nativeErrorText(int code) {
#ifdef _WIN32
    return std::system_category().message(code);
#else
    return std::generic_category().message(code);
#endif
}

// A failure that stands in one project document. what() stays the text the application shows;
// the parts let a caller that must tell the documents apart name the document first.
class DocumentError : public Error {
public:
    // Shows `shown`.
    DocumentError(std::string document, std::string list, std::size_t row, std::string detail,
                  const std::string& shown)
        : Error(shown),
          document_(std::move(document)),
          list_(std::move(list)),
          row_(row),
          detail_(std::move(detail)) {}

    // Shows the located text.
    DocumentError(const std::string& document, const std::string& list, std::size_t row,
                  const std::string& detail)
        : DocumentError(document, list, row, detail, locatedText(document, list, row, detail)) {}

    // The document's file name, such as "DefReg.xml".
    const std::string& document() const { return document_; }
    // The list element where it stands, or empty for the document as a whole.
    const std::string& list() const { return list_; }
    // The row, counted from 1 within its list (or the root); 0 for none.
    std::size_t row() const { return row_; }
    // What is wrong there.
    const std::string& detail() const { return detail_; }
    // The place within the document: "Modbus_Read row 3", "row 2" or "".
    std::string place() const { return placeText(list_, row_); }
    // The document, the place when there is one, and the detail: "DefReg.xml, row 2: ...".
    std::string located() const { return locatedText(document_, list_, row_, detail_); }

private:
    static std::string placeText(const std::string& list, std::size_t row) {
        std::string s = list;
        if (row != 0) s.append(s.empty() ? "row " : " row ").append(std::to_string(row));
        return s;
    }
    static std::string locatedText(const std::string& document, const std::string& list,
                                   std::size_t row, const std::string& detail) {
        const std::string where = placeText(list, row);
        return document + (where.empty() ? "" : ", " + where) + ": " + detail;
    }

    std::string document_;
    std::string list_;
    std::size_t row_;
    std::string detail_;
};

}  // namespace velmora
