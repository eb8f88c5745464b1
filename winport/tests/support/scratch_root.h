/*
 * A fresh winport root per test: a temporary folder that every Windows path
 * of the process maps under while the object lives, removed afterwards.
 * Tests only; product code never sees it.
 */
#ifndef WINPORT_TESTS_SCRATCH_ROOT_H
#define WINPORT_TESTS_SCRATCH_ROOT_H

#include <winport_test.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

class ScratchRoot {
public:
    ScratchRoot()
    {
        std::string tmpl = (std::filesystem::temp_directory_path() / "wproot-XXXXXX").string();
        if (!mkdtemp(tmpl.data()))
            throw std::runtime_error("mkdtemp failed");
        path_ = tmpl;
        if (!winport_test_set_root(path_.c_str()))
            throw std::runtime_error("winport_test_set_root failed");
    }
    ~ScratchRoot()
    {
        std::error_code ec;
        std::filesystem::remove_all(path_, ec);
    }
    ScratchRoot(const ScratchRoot &) = delete;
    ScratchRoot &operator=(const ScratchRoot &) = delete;

    const std::string &path() const { return path_; }
    /* POSIX path of something under drive C, spelled as given. */
    std::string driveC(const std::string &rel) const { return path_ + "/drive_c/" + rel; }

private:
    std::string path_;
};

#endif
