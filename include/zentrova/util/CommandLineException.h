// Failure of command-line parsing.
#ifndef ZENTROVA_UTIL_COMMANDLINEEXCEPTION_H
#define ZENTROVA_UTIL_COMMANDLINEEXCEPTION_H

#include <exception>
#include <string>

#include "zentrova/export.h"

/// Thrown by CommandLineParser, and by ArgumentParser implementations, for a bad
/// command line. Carries the option the error concerns (absent when none) and
/// the message; what() returns the message alone.
class ZENTROVA_API CommandLineException : public std::exception {
public:
    /// `option` may be null (no option); a null `message` is taken as empty.
    CommandLineException(const char* option, const char* message);
    ~CommandLineException() override;

    const char* what() const noexcept override;

    /// The option text, or null when the error concerns no option.
    const char* getOption() const noexcept;

private:
    std::string option;
    std::string message;
    bool hasOption;
};

#endif
