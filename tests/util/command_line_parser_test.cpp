#include "zentrova/util/CommandLineParser.h"

#include <array>
#include <string>
#include <vector>

#include <gtest/gtest.h>

namespace {

// Takes one value: the element at the position handed over.
struct ValueParser : ArgumentParser {
    std::vector<std::string> values;
    void parse(std::list<std::string>::iterator position, std::list<std::string>& arguments) override
    {
        if (position == arguments.end())
            throw CommandLineException(nullptr, "missing value");
        values.push_back(*position);
        arguments.erase(position);
    }
};

// A parser over "prog" followed by `args`, null-terminated as main() gets them.
struct Parse {
    std::vector<const char*> argv;
    CommandLineParser p;
    ValueParser v;
    explicit Parse(std::vector<const char*> args)
        : argv((args.insert(args.begin(), "prog"), args.push_back(nullptr), args)),
          p("prog", static_cast<int>(argv.size() - 1), argv.data())
    {
    }
};

// "message [option]" of the CommandLineException that `f` throws.
template <typename F>
std::string thrown(F f)
{
    try {
        f();
    } catch (const CommandLineException& e) {
        return std::string(e.what()) + " [" + (e.getOption() ? e.getOption() : "null") + "]";
    }
    return "nothing thrown";
}

TEST(CommandLineParser, OptionsPositionalsAndLeftovers)
{
    Parse none({});
    EXPECT_FALSE(none.p.getArgument("-o", "--output", none.v));
    EXPECT_FALSE(none.p.getFreeArgument(none.v));
    EXPECT_EQ(none.p.getExecutableName(), "prog");
    CommandLineParser empty("zentrova", 0, nullptr); // no argv at all
    EXPECT_EQ(empty.getExecutableName(), "");
    EXPECT_NO_THROW(empty.finish());

    // A multiple option is taken once per call.
    Parse multiple({"-D", "x", "-D", "y"});
    EXPECT_TRUE(multiple.p.getArgument("-D", "", multiple.v, true));
    EXPECT_TRUE(multiple.p.getArgument("-D", "", multiple.v, true));
    EXPECT_FALSE(multiple.p.getArgument("-D", "", multiple.v, true));
    EXPECT_EQ(multiple.v.values, (std::vector<std::string>{"x", "y"}));

    // A positional argument is never an option's value, whichever is fetched first.
    for (bool optionFirst : {false, true}) {
        Parse a({"--hand", "left", "profile.json"});
        ValueParser file;
        if (optionFirst) {
            EXPECT_TRUE(a.p.getArgument("", "--hand", a.v));
        }
        EXPECT_TRUE(a.p.getFreeArgument(file));
        EXPECT_EQ(a.p.getArgument("", "--hand", a.v), !optionFirst);
        EXPECT_EQ(file.values, std::vector<std::string>{"profile.json"}) << optionFirst;
        EXPECT_EQ(a.v.values, std::vector<std::string>{"left"}) << optionFirst;
        EXPECT_FALSE(a.p.getFreeArgument(file));
        EXPECT_NO_THROW(a.p.finish());
    }

    // An empty name never matches an empty argument, which is a positional one.
    Parse blank({""});
    EXPECT_FALSE(blank.p.getArgument("", "--output", blank.v));
    EXPECT_FALSE(blank.p.getArgument("", "", blank.v));
    EXPECT_TRUE(blank.p.getFreeArgument(blank.v));
    EXPECT_EQ(blank.v.values, std::vector<std::string>{""});

    Parse leftover({"extra", "more"});
    EXPECT_EQ(thrown([&] { leftover.p.finish(); }), "invalid argument extra [null]");
}

TEST(CommandLineParser, ErrorsNameTheOption)
{
    // A duplicate throws after taking the first occurrence; the second stays.
    Parse dup({"-o", "first", "--output", "second"});
    EXPECT_EQ(thrown([&] { dup.p.getArgument("-o", "--output", dup.v); }), "duplicate option [-o, --output]");
    EXPECT_EQ(dup.v.values, std::vector<std::string>{"first"});
    EXPECT_TRUE(dup.p.getArgument("-o", "--output", dup.v));
    EXPECT_NO_THROW(dup.p.finish());

    // An argument parser's error is relabelled with the option's names.
    const std::array<const char*, 3> labels[] = {
        {"-o", "--output", "-o, --output"}, {"", "--output", "--output"}, {"-o", "", "-o"}};
    for (const auto& l : labels) {
        Parse a({l[0][0] ? l[0] : l[1]});
        EXPECT_EQ(thrown([&] { a.p.getArgument(l[0], l[1], a.v); }), std::string("missing value [") + l[2] + "]");
    }
    // A positional argument's parser error keeps the message, with an empty option.
    struct Refuse : ArgumentParser {
        void parse(std::list<std::string>::iterator, std::list<std::string>&) override
        {
            throw CommandLineException("ignored", "not a number");
        }
    } refuse;
    Parse positional({"abc"});
    EXPECT_EQ(thrown([&] { positional.p.getFreeArgument(refuse); }), "not a number []");
}

TEST(CommandLineParser, PrintUsageFormat)
{
    const char* argv[] = {"prog"};
    CommandLineParser p("zentrova compile", 1, argv);
    p.addUsageDescription("-o, --output IMAGE", "profile image to write");
    p.addUsageDescription("--a-very-long-option-name-beyond-32", "x");
    testing::internal::CaptureStdout();
    p.printUsage();
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "\n\nUSAGE: zentrova compile [options]\nwhere [options] can be any of the following:\n\n"
              "\n -o, --output IMAGE" + std::string(32 - 18, ' ') + "  -  profile image to write\n"
              "\n --a-very-long-option-name-beyond-32  -  x\n");
}

} // namespace
