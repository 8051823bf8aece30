#include "zentrova/util/CommandLineParser.h"

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

struct Args {
    std::vector<const char*> argv;
    Args(std::initializer_list<const char*> list) : argv(list) {}
    int argc() const { return static_cast<int>(argv.size()); }
};

TEST(CommandLineParser, ExecutableNameAndNothingElse)
{
    Args a{"/usr/bin/zentrova"};
    CommandLineParser p("zentrova", a.argc(), a.argv.data());
    ValueParser v;
    EXPECT_EQ(p.getExecutableName(), "/usr/bin/zentrova");
    EXPECT_FALSE(p.getArgument("-o", "--output", v));
    EXPECT_FALSE(p.getFreeArgument(v));
    EXPECT_NO_THROW(p.finish());
    EXPECT_TRUE(v.values.empty());

    CommandLineParser empty("zentrova", 0, nullptr);
    EXPECT_EQ(empty.getExecutableName(), "");
    EXPECT_NO_THROW(empty.finish());
}

TEST(CommandLineParser, DuplicateOptionThrowsAfterTakingTheFirst)
{
    Args a{"prog", "-o", "first", "--output", "second"};
    CommandLineParser p("prog", a.argc(), a.argv.data());
    ValueParser v;
    try {
        p.getArgument("-o", "--output", v);
        FAIL() << "no exception";
    } catch (const CommandLineException& e) {
        EXPECT_STREQ(e.what(), "duplicate option");
        ASSERT_NE(e.getOption(), nullptr);
        EXPECT_STREQ(e.getOption(), "-o, --output");
    }
    EXPECT_EQ(v.values, (std::vector<std::string>{"first"}));
    // The first occurrence stays consumed; the second is still there.
    EXPECT_TRUE(p.getArgument("-o", "--output", v));
    EXPECT_NO_THROW(p.finish());
}

TEST(CommandLineParser, MultipleOptionIsTakenOnEachCall)
{
    Args a{"prog", "-D", "x", "-D", "y"};
    CommandLineParser p("prog", a.argc(), a.argv.data());
    ValueParser v;
    EXPECT_TRUE(p.getArgument("-D", "", v, true));
    EXPECT_TRUE(p.getArgument("-D", "", v, true));
    EXPECT_FALSE(p.getArgument("-D", "", v, true));
    EXPECT_EQ(v.values, (std::vector<std::string>{"x", "y"}));
    EXPECT_NO_THROW(p.finish());
}

TEST(CommandLineParser, FreeArgumentSkipsOptionValues)
{
    for (bool optionFirst : {false, true}) {
        SCOPED_TRACE(optionFirst ? "option fetched first" : "positional fetched first");
        Args a{"prog", "--hand", "left", "profile.json"};
        CommandLineParser p("prog", a.argc(), a.argv.data());
        ValueParser hand, file;
        if (optionFirst) {
            ASSERT_TRUE(p.getArgument("", "--hand", hand));
        }
        ASSERT_TRUE(p.getFreeArgument(file));
        if (!optionFirst) {
            ASSERT_TRUE(p.getArgument("", "--hand", hand));
        }
        EXPECT_EQ(file.values, (std::vector<std::string>{"profile.json"}));
        EXPECT_EQ(hand.values, (std::vector<std::string>{"left"}));
        EXPECT_FALSE(p.getFreeArgument(file));
        EXPECT_NO_THROW(p.finish());
    }
}

TEST(CommandLineParser, ParserErrorsAreRelabelled)
{
    struct Case {
        const char* shortName;
        const char* longName;
        const char* label;
    };
    for (const Case& c : {Case{"-o", "--output", "-o, --output"}, Case{"", "--output", "--output"},
                          Case{"-o", "", "-o"}}) {
        Args a{"prog", c.shortName[0] ? c.shortName : c.longName};
        CommandLineParser p("prog", a.argc(), a.argv.data());
        ValueParser v;
        try {
            p.getArgument(c.shortName, c.longName, v);
            FAIL() << "no exception for " << c.label;
        } catch (const CommandLineException& e) {
            EXPECT_STREQ(e.what(), "missing value");
            ASSERT_NE(e.getOption(), nullptr);
            EXPECT_STREQ(e.getOption(), c.label);
        }
    }

    // A positional argument's parser error keeps the message, with an empty option.
    struct Refuse : ArgumentParser {
        void parse(std::list<std::string>::iterator, std::list<std::string>&) override
        {
            throw CommandLineException("ignored", "not a number");
        }
    } refuse;
    Args a{"prog", "abc"};
    CommandLineParser p("prog", a.argc(), a.argv.data());
    try {
        p.getFreeArgument(refuse);
        FAIL() << "no exception";
    } catch (const CommandLineException& e) {
        EXPECT_STREQ(e.what(), "not a number");
        ASSERT_NE(e.getOption(), nullptr);
        EXPECT_STREQ(e.getOption(), "");
    }
}

TEST(CommandLineParser, LeftoverArgumentFailsFinish)
{
    Args a{"prog", "extra", "more"};
    CommandLineParser p("prog", a.argc(), a.argv.data());
    try {
        p.finish();
        FAIL() << "no exception";
    } catch (const CommandLineException& e) {
        EXPECT_STREQ(e.what(), "invalid argument extra");
        EXPECT_EQ(e.getOption(), nullptr);
    }
}

TEST(CommandLineParser, EmptyNameNeverMatchesAnEmptyArgument)
{
    Args a{"prog", ""};
    CommandLineParser p("prog", a.argc(), a.argv.data());
    ValueParser v;
    EXPECT_FALSE(p.getArgument("", "--output", v));
    EXPECT_FALSE(p.getArgument("", "", v));
    // The empty element is a positional argument.
    EXPECT_TRUE(p.getFreeArgument(v));
    EXPECT_EQ(v.values, (std::vector<std::string>{""}));
}

TEST(CommandLineParser, PrintUsageFormat)
{
    Args a{"prog"};
    CommandLineParser p("zentrova compile", a.argc(), a.argv.data());
    p.addUsageDescription("-o, --output IMAGE", "profile image to write");
    p.addUsageDescription("--a-very-long-option-name-beyond-32", "x");
    testing::internal::CaptureStdout();
    p.printUsage();
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "\n\nUSAGE: zentrova compile [options]\n"
              "where [options] can be any of the following:\n\n"
              "\n -o, --output IMAGE" + std::string(32 - 18, ' ') + "  -  profile image to write\n"
              "\n --a-very-long-option-name-beyond-32  -  x\n");
}

} // namespace
