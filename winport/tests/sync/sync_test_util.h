/*
 * Helpers for the synchronisation tests: running a call on another thread
 * (ownership is per thread) and a unique object name per test (named
 * objects are machine-wide within a root).  Tests only.
 */
#ifndef WINPORT_TESTS_SYNC_TEST_UTIL_H
#define WINPORT_TESTS_SYNC_TEST_UTIL_H

#include <gtest/gtest.h>

#include <windows.h>

#include <future>
#include <string>
#include <thread>

/* The result of `f()` run on a new thread that then ends. */
template <class F> auto OnOtherThread(F f)
{
    return std::async(std::launch::async, f).get();
}

/* "<prefix>-<pid>-<test name>": distinct between tests and runs. */
inline std::string UniqueName(const char *prefix)
{
    const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
    return std::string(prefix) + "-" + std::to_string(GetCurrentProcessId()) + "-" +
           info->test_suite_name() + "." + info->name();
}

#endif
