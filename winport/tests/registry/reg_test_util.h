/*
 * Shared pieces of the registry tests: a fixture with its own root and a
 * clean registry state, value helpers, and running programs (the helper
 * and winport-reg) against the same root.
 */
#ifndef WINPORT_TESTS_REG_TEST_UTIL_H
#define WINPORT_TESTS_REG_TEST_UTIL_H

#include <gtest/gtest.h>

#include "scratch_root.h"

#include "registry/registry.h"

#include <windows.h>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

extern char **environ;

/* Each test gets a fresh root and a process that has never seen a hive. */
class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override { winport::reg::ResetRegistryForTests(); }
    void TearDown() override
    {
        EXPECT_EQ(winport::reg::OpenKeyHandleCount(), 0u) << "a test leaked key handles";
        winport::reg::ResetRegistryForTests();
    }

    /* Creates (or opens) a key with full access; fails the test otherwise. */
    HKEY Create(HKEY root, const char *path)
    {
        HKEY key = nullptr;
        EXPECT_EQ(
            RegCreateKeyExA(root, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_SUCCESS)
            << path;
        return key;
    }

    static LSTATUS SetString(HKEY key, const char *name, const char *text)
    {
        return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE *>(text),
                              static_cast<DWORD>(strlen(text) + 1));
    }

    static LSTATUS SetDword(HKEY key, const char *name, DWORD value)
    {
        return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE *>(&value),
                              sizeof value);
    }

    /* The value's bytes, or "<error N>". */
    static std::string Query(HKEY key, const char *name, DWORD *type = nullptr)
    {
        BYTE buf[4096];
        DWORD size = sizeof buf;
        LSTATUS err = RegQueryValueExA(key, name, nullptr, type, buf, &size);
        if (err != ERROR_SUCCESS)
            return "<error " + std::to_string(err) + ">";
        return std::string(reinterpret_cast<char *>(buf), size);
    }

    static std::string ReadFile(const std::string &path)
    {
        std::ifstream in(path, std::ios::binary);
        std::ostringstream all;
        all << in.rdbuf();
        return all.str();
    }

    static void WriteFile(const std::string &path, const std::string &text)
    {
        std::filesystem::create_directories(std::filesystem::path(path).parent_path());
        std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
    }

    std::string RegistryFolder() const { return root_.path() + "/winport/registry"; }

    struct Run {
        int exitCode = -1;
        std::string out, err;
    };

    /* Runs `program args...` with this test's root, stdin from `input`. */
    Run RunProgram(const std::string &program, const std::vector<std::string> &args,
                   const std::string &input = "")
    {
        const std::string base = root_.path() + "/run-" + std::to_string(runs_++);
        WriteFile(base + ".in", input);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, (base + ".in").c_str(), O_RDONLY, 0);
        posix_spawn_file_actions_addopen(&actions, 1, (base + ".out").c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        posix_spawn_file_actions_addopen(&actions, 2, (base + ".err").c_str(),
                                         O_WRONLY | O_CREAT | O_TRUNC, 0644);
        std::vector<std::string> env = ChildEnvironment();
        std::vector<char *> argv{const_cast<char *>(program.c_str())}, envp;
        for (const std::string &arg : args)
            argv.push_back(const_cast<char *>(arg.c_str()));
        argv.push_back(nullptr);
        for (std::string &entry : env)
            envp.push_back(entry.data());
        envp.push_back(nullptr);
        pid_t pid = -1;
        Run run;
        if (posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), envp.data()) == 0) {
            int status = 0;
            waitpid(pid, &status, 0);
            run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
        }
        posix_spawn_file_actions_destroy(&actions);
        run.out = ReadFile(base + ".out");
        run.err = ReadFile(base + ".err");
        return run;
    }

    /* This process's environment with WINPORT_ROOT pointing at the test's root. */
    std::vector<std::string> ChildEnvironment() const
    {
        std::vector<std::string> env;
        for (char **entry = environ; *entry; ++entry) {
            if (strncmp(*entry, "WINPORT_ROOT=", 13) != 0)
                env.emplace_back(*entry);
        }
        env.push_back("WINPORT_ROOT=" + root_.path());
        return env;
    }

    ScratchRoot root_;
    int runs_ = 0;
};

#endif
