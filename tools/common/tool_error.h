// tool_error.h - how every tool of the project reports a failure: one line
// on standard error, "TOOL: message", and a non-zero exit (1 for a failure,
// 2 for a usage error, after the usage text). Messages name the file they
// concern. The timeline's own "FILE:LINE: message" lines already name their
// source and are printed as they are.
#pragma once

#include <cstdio>
#include <string>

inline void print_tool_error(const char *tool, const std::string &message)
{
    std::fprintf(stderr, "%s: %s\n", tool, message.c_str());
    std::fflush(stderr);
}

// Prints the usage text and gives the usage exit status.
inline int print_tool_usage(const char *usage)
{
    std::fprintf(stderr, "%s\n", usage);
    return 2;
}
