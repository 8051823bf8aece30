#include "zentrova/util/CommandLineException.h"

CommandLineException::CommandLineException(const char* option, const char* message)
    : option(option ? option : ""), message(message ? message : ""), hasOption(option != nullptr)
{
}

CommandLineException::~CommandLineException() = default;

const char* CommandLineException::what() const noexcept
{
    return message.c_str();
}

const char* CommandLineException::getOption() const noexcept
{
    return hasOption ? option.c_str() : nullptr;
}
