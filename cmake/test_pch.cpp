// Hosts the tests' precompiled header (see novarc_test_pch in Novarc.cmake).
#include <gtest/gtest.h>

TEST(PrecompiledHeader, Builds) {}
