#pragma once
// The program's error type. Whatever fails (opening the port, a device that
// goes away, a handler that throws) is reported as an Exception whose text
// is shown to the user as it stands.

#include <exception>
#include <stdexcept>
#include <string>

class Exception : public std::runtime_error {
public:
    explicit Exception(const std::string& message) : std::runtime_error(message) {}
    std::string Message() const { return what(); }
};

// The text to show for the exception being handled (call only inside a
// catch block): a std::exception's own text; for a thrown value that is not
// an exception, the empty message of an Exception made in its place.
inline std::string CurrentExceptionText()
{
    try {
        throw;
    } catch (const std::exception& e) {
        return e.what();
    } catch (...) {
        return Exception("").Message();
    }
}
