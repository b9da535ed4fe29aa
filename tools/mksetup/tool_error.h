// The one error type of mksetup: a file (or other subject) and the reason,
// shown to the author as "mksetup: <file>: <reason>".
#pragma once
#include <stdexcept>
#include <string>

namespace mksetup {

class ToolError : public std::runtime_error {
public:
    ToolError(std::string subject, std::string reason)
        : std::runtime_error("mksetup: " + subject + ": " + reason),
          subject_(std::move(subject)), reason_(std::move(reason)) {}

    const std::string& subject() const { return subject_; }
    const std::string& reason() const { return reason_; }

private:
    std::string subject_;
    std::string reason_;
};

} // namespace mksetup
