// command_line.h - the tools' command lines, parsed with CLI11.
//
// Every tool answers --help on standard output (exit 0) with its usage line,
// its options and their defaults. Any usage error prints one line on
// standard error, "TOOL: what was wrong" (the option and the reason), then
// the usage line, and gives exit status 2.
#pragma once

#include <CLI/CLI.hpp>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

// The help text opens with the tool's own usage line, then what it does.
class UsageFormatter : public CLI::Formatter {
public:
    explicit UsageFormatter(std::string usage) : usage_(std::move(usage)) {}
    std::string make_description(const CLI::App *) const override { return {}; }
    std::string make_usage(const CLI::App *app, std::string) const override
    {
        return usage_ + "\n\n" + app->get_description() + "\n";
    }

private:
    std::string usage_;
};

struct CommandLine {
    CLI::App app;
    std::string name, usage;

    CommandLine(const std::string &tool, const std::string &description, const std::string &usage_line)
        : app(description, tool), name(tool), usage(usage_line)
    {
        app.formatter(std::make_shared<UsageFormatter>(usage_line));
        app.get_formatter()->column_width(26);
    }

    // Parses argv[1..]: -1 when the tool should go on, else its exit status
    // (0 after the help, 2 after a usage error), the text already printed.
    int parse(int argc, const char *const *argv)
    {
        app.allow_extras();
        try {
            app.parse(argc, argv);
        } catch (const CLI::CallForHelp &) {
            std::fputs(app.help().c_str(), stdout);
            return 0;
        } catch (const CLI::ParseError &e) {
            return error(e.what());
        }
        // The first word left over, named as CLI11's own list would not.
        const std::vector<std::string> extra = app.remaining();
        if (!extra.empty())
            return error((extra[0].starts_with("-") ? "unknown option " : "unexpected argument ") +
                         extra[0]);
        return -1;
    }

    // A usage error found after parsing (options that do not go together).
    int error(const std::string &message) const
    {
        std::fprintf(stderr, "%s: %s\n%s\n", name.c_str(), message.c_str(), usage.c_str());
        return 2;
    }
};

// A whole number from lo to hi, as CLI11 reads it.
inline CLI::Validator whole_number(long lo, long hi)
{
    const std::string range = std::to_string(lo) + " to " + std::to_string(hi);
    return CLI::Validator(
        [lo, hi, range](std::string &text) -> std::string {
            long v = 0;
            if (!CLI::detail::lexical_cast(text, v) || v < lo || v > hi)
                return "'" + text + "' is not a whole number from " + range;
            return {};
        },
        "");
}

// A finite number; with `positive`, above 0; at most `max`.
inline CLI::Validator finite_number(bool positive = false, double max = HUGE_VAL)
{
    std::string what = positive ? "a number above 0" : "a finite number";
    if (max != HUGE_VAL)
        what += " and at most " + CLI::detail::to_string(max);
    return CLI::Validator(
        [positive, max, what](std::string &text) -> std::string {
            double v = 0.0;
            if (!CLI::detail::lexical_cast(text, v) || !std::isfinite(v) || (positive && !(v > 0.0)) ||
                v > max)
                return "'" + text + "' is not " + what;
            return {};
        },
        "");
}

// A finite number from lo to hi, both included.
inline CLI::Validator number_between(double lo, double hi)
{
    const std::string what = "a number from " + CLI::detail::to_string(lo) + " to " + CLI::detail::to_string(hi);
    return CLI::Validator(
        [lo, hi, what](std::string &text) -> std::string {
            double v = 0.0;
            if (!CLI::detail::lexical_cast(text, v) || !std::isfinite(v) || v < lo || v > hi)
                return "'" + text + "' is not " + what;
            return {};
        },
        "");
}

inline const CLI::Validator NotEmpty(
    [](std::string &text) -> std::string { return text.empty() ? "must not be empty" : ""; }, "");
