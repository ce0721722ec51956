#pragma once

#include <string>
#include <utility>

// The outcome of loading or preparing something: success, or what went wrong together with the
// sentence to show the user. Loaders return it and never show anything themselves; the window
// and the view put the message on screen.
class Status
{
public:
    enum class Code {
        Ok,
        NotFound,        // no file at that path
        NotRegularFile,  // a folder, FIFO or device where a file was expected
        Unreadable,      // present, but it cannot be opened or read
        WriteFailed,     // an output could not be written (a full disk, say)
        Damaged,         // the bytes break the rules of their format
        Unsupported,     // a kind or variant of file this reader does not read
        TooLarge,        // past a size limit
        Protected,       // encrypted content
        Cancelled,       // the user stopped the work
    };

    Status() = default;  // success
    static Status ok() { return Status(); }
    static Status error(Code code, std::string message, std::string detail = {})
    {
        return Status(code, std::move(message), std::move(detail));
    }

    bool isOk() const { return m_code == Code::Ok; }
    Code code() const { return m_code; }
    const std::string &message() const { return m_message; }
    // Where known, the finer reason behind the message (a damaged record, a failed call); for
    // command-line tools and logs, not for message boxes.
    const std::string &detail() const { return m_detail; }

private:
    Status(Code code, std::string message, std::string detail)
        : m_code(code), m_message(std::move(message)), m_detail(std::move(detail))
    {
    }

    Code m_code = Code::Ok;
    std::string m_message;
    std::string m_detail;
};
