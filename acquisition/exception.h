#pragma once
// The program's error type. Whatever fails (opening the port, a device that
// goes away, a handler that throws) is reported as an Exception whose text
// is shown to the user as it stands.

#include <stdexcept>
#include <string>

class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
    std::string Message() const { return what(); }
};
