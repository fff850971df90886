// run_program.h - running a program through the shell in a working
// directory, with both output streams captured.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

namespace run_program {

namespace fs = std::filesystem;

struct ProcessResult {
    int status;
    std::string out, err;
};

inline std::string slurp(const fs::path &p)
{
    std::ifstream f(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(f), {});
}

// Runs a shell command line in `cwd`, capturing both output streams.
inline ProcessResult run_in(const fs::path &cwd, const std::string &command)
{
    const fs::path out = cwd / "stdout.txt", err = cwd / "stderr.txt";
    const std::string line = "cd '" + cwd.string() + "' && " + command + " >'" + out.string() +
                             "' 2>'" + err.string() + "'";
    const int raw = std::system(line.c_str());
    ProcessResult r{WIFEXITED(raw) ? WEXITSTATUS(raw) : -1, slurp(out), slurp(err)};
    fs::remove(out);
    fs::remove(err);
    return r;
}

// A fresh working directory per test holding the demo's tracks and music,
// which the programs read from their working directory.
struct DemoWorkDir : ::testing::Test {
    fs::path work;
    void SetUp() override
    {
        work = fs::temp_directory_path() /
               ("demo_work_" + std::to_string(::getpid()) + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->test_suite_name() + "_" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::remove_all(work);
        fs::create_directories(work);
        for (const auto &entry : fs::directory_iterator(DEMO_DIR)) {
            const std::string name = entry.path().filename().string();
            if (name.ends_with(".track") || name == "music.ogg")
                fs::copy_file(entry.path(), work / name);
        }
    }
    void TearDown() override { fs::remove_all(work); }
};

} // namespace run_program
