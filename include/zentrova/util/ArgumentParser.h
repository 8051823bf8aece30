// Interface through which CommandLineParser hands an option or a positional
// argument to the caller's code.
#ifndef ZENTROVA_UTIL_ARGUMENTPARSER_H
#define ZENTROVA_UTIL_ARGUMENTPARSER_H

#include <list>
#include <string>

#include "zentrova/export.h"

/// Reads the value (or values) of one command-line argument.
///
/// CommandLineParser calls parse() with the position in `arguments` where the
/// value starts: for an option, the element after the option (the option itself
/// has already been removed, so this may be `arguments.end()`); for a positional
/// argument, the argument itself. The implementation removes from `arguments`
/// whatever it consumed and signals a bad or missing value by throwing
/// CommandLineException. The library calls this interface and never implements it.
class ZENTROVA_API ArgumentParser {
public:
    virtual void parse(std::list<std::string>::iterator position, std::list<std::string>& arguments) = 0;
    virtual ~ArgumentParser();

protected:
    ArgumentParser() = default;
    ArgumentParser(const ArgumentParser&) = default;
    ArgumentParser& operator=(const ArgumentParser&) = default;
};

#endif
