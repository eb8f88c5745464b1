/*
 * Test helpers: reading and writing files on the POSIX side, to set up and
 * check what the Windows functions see.  Tests only.
 */
#ifndef WINPORT_TESTS_POSIX_FILES_H
#define WINPORT_TESTS_POSIX_FILES_H

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

inline void WriteText(const std::string &path, const std::string &text)
{
    std::filesystem::create_directories(std::filesystem::path(path).parent_path());
    std::ofstream(path, std::ios::binary) << text;
}

inline std::string ReadText(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

inline void MakeReadOnly(const std::string &path)
{
    std::filesystem::permissions(path,
                                 std::filesystem::perms::owner_write |
                                     std::filesystem::perms::group_write |
                                     std::filesystem::perms::others_write,
                                 std::filesystem::perm_options::remove);
}

/* One shell word for a path or text, whatever characters it holds. */
inline std::string ShellQuoted(const std::string &text)
{
    std::string out = "'";
    for (char c : text)
        out += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return out + "'";
}

/* Runs a shell command: its standard output; *status gets its wait status. */
inline std::string RunCommand(const std::string &command, int *status = nullptr)
{
    std::string out;
    FILE *pipe = popen(command.c_str(), "r");
    char chunk[4096];
    std::size_t n;
    while (pipe && (n = std::fread(chunk, 1, sizeof chunk, pipe)) > 0)
        out.append(chunk, n);
    const int rc = pipe ? pclose(pipe) : -1;
    if (status)
        *status = rc;
    return out;
}

#endif
