/*
 * Test helpers: reading and writing files on the POSIX side, to set up and
 * check what the Windows functions see.  Tests only.
 */
#ifndef WINPORT_TESTS_POSIX_FILES_H
#define WINPORT_TESTS_POSIX_FILES_H

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

#endif
