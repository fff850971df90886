// Every tool's command line: --help prints the usage line and the options
// (exit 0, nothing on standard error); a bad option or value prints one
// line naming it, then the usage line (exit 2, nothing on standard output),
// and the tool does nothing else.
#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <vector>

#include "run_program.h"

namespace fs = std::filesystem;
using run_program::ProcessResult;
using run_program::run_in;

namespace {

struct Tool {
    const char *name;
    const char *dir;
    std::vector<const char *> options;  // each must appear in the help
    const char *bad_value;              // arguments with one bad value
    const char *named;                  // what the error line must name
};

void PrintTo(const Tool &t, std::ostream *os)
{
    *os << t.name;
}

class ToolCommandLine : public run_program::DemoWorkDir, public testing::WithParamInterface<Tool> {};

} // namespace

TEST_P(ToolCommandLine, HelpAndUsageErrors)
{
    const Tool &t = GetParam();
    const std::string program = std::string("'") + t.dir + "/" + t.name + "'";
    const std::string usage = std::string("usage: ") + t.name;

    ProcessResult help = run_in(work, program + " --help");
    EXPECT_EQ(help.status, 0);
    EXPECT_EQ(help.out.rfind(usage, 0), 0u) << help.out;
    for (const char *option : t.options)
        EXPECT_NE(help.out.find(option), std::string::npos) << option << " missing from\n" << help.out;
    EXPECT_EQ(help.err, "");

    for (const std::string &args : {std::string(" --bogus 1"), std::string(" ") + t.bad_value}) {
        ProcessResult r = run_in(work, program + args);
        EXPECT_EQ(r.status, 2) << args;
        EXPECT_EQ(r.out, "") << args;
        const size_t eol = r.err.find('\n');
        ASSERT_NE(eol, std::string::npos) << r.err;
        const std::string first = r.err.substr(0, eol);
        EXPECT_EQ(first.rfind(std::string(t.name) + ": ", 0), 0u) << first;
        EXPECT_NE(first.find(args == " --bogus 1" ? "--bogus" : t.named), std::string::npos) << first;
        EXPECT_EQ(r.err.substr(eol + 1).rfind(usage, 0), 0u) << r.err;
        EXPECT_EQ(std::count(r.err.begin(), r.err.end(), '\n'), 2) << r.err;
    }
    // Nothing was written: the working directory holds what it was given.
    for (const auto &entry : fs::directory_iterator(work)) {
        const std::string name = entry.path().filename().string();
        EXPECT_TRUE(name.ends_with(".track") || name == "music.ogg") << name;
    }
}

INSTANTIATE_TEST_SUITE_P(
    Tools, ToolCommandLine,
    testing::Values(
        Tool{"capture", DEMO_DIR,
             {"--out", "--video", "--start", "--frames", "--fps", "--quality", "--renderer", "=60"},
             "--out o --frames 0", "--frames"},
        Tool{"bench", DEMO_DIR, {"--frames", "--renderer", "=300"}, "--frames 1x", "--frames"},
        Tool{"position_probe", TOOLS_DIR, {"--seconds", "--hz", "MUSIC", "=music.ogg"},
             "--hz 0", "--hz"},
        Tool{"make_images", TOOLS_DIR, {"OUTDIR"}, "", "OUTDIR"},
        Tool{"make_music", TOOLS_DIR, {"OUT.ogg"}, "a.ogg b.ogg", "b.ogg"},
        Tool{"studio_bench", TOOLS_DIR, {"TIMELINE", "--edits", "--ranges", "=100"}, "t.txt --edits 0", "--edits"},
        Tool{"scene_times", TOOLS_DIR, {}, "extra", "extra"}),
    [](const testing::TestParamInfo<Tool> &info) { return std::string(info.param.name); });
