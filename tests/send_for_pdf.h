/*
 * A job sent with novarc-send to a client it starts on a scratch root,
 * printed by the embedded PDF printer: the one PDF that came out.  For the
 * end-to-end tests whose CMake target defines NOVARC_SEND_EXE and
 * NOVARCPRINT_EXE.
 */
#ifndef NOVARC_TESTS_SEND_FOR_PDF_H
#define NOVARC_TESTS_SEND_FOR_PDF_H

#include <filesystem>
#include <string>
#include <vector>

#include "client_process.h"

/* Runs novarc-send (args after --spawn) against a client on the root and
 * returns the one PDF the embedded printer saved, or "" with a failure. */
inline std::string SendForPdf(const ScratchRoot &root, const std::string &args)
{
    int status = 0;
    const std::string out = RunCommand(
        "WINPORT_ROOT=" + ShellQuoted(root.path()) +
            " WINPORT_TIME_SCALE=" + std::to_string(kTimeScale) +
            " " NOVARC_SEND_EXE " --spawn " NOVARCPRINT_EXE " --wait 3000 " + args + " 2>&1",
        &status);
    EXPECT_EQ(status, 0) << out;
    EXPECT_NE(out.find("printer-open reply status 1"), std::string::npos) << out;
    EXPECT_EQ(out.find("still running"), std::string::npos) << out;
    std::vector<std::string> pdfs;
    const std::string printed = root.driveC("novarc/printed");
    if (std::filesystem::is_directory(printed))
        for (const auto &entry : std::filesystem::directory_iterator(printed))
            if (entry.path().extension() == ".pdf")
                pdfs.push_back(entry.path().string());
    EXPECT_EQ(pdfs.size(), 1u) << out;
    return pdfs.size() == 1 ? pdfs[0] : std::string();
}

#endif
