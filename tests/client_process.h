/*
 * A real Novarcprint in a fresh winport root, handed a loopback connection
 * as the print service hands it one, and the server's end of that
 * connection.  The client runs on winport's test clock (100 times faster),
 * so its 60000 and 300000 ms waits take 0.6 and 3 seconds.
 */
#ifndef TESTS_CLIENT_PROCESS_H
#define TESTS_CLIENT_PROCESS_H

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <string>
#include <thread>

#include <kellib.h>
#include <posix_files.h>
#include <scratch_root.h>

#include "handoff.h"

constexpr int kTimeScale = 100;

inline std::string Int32(int v)
{
    return NovarcInt32(v);
}

inline std::string Str(const std::string &text)
{
    return text + '\0';
}

class ClientProcess {
public:
    explicit ClientProcess(const ScratchRoot &root, bool debugLog = true) : root_(root)
    {
        if (debugLog)
            WriteText(root.driveC("novarc/bin/PRINT_DEBUGGING_ON"), "");
    }
    ~ClientProcess()
    {
        if (server_ != INVALID_SOCKET)
            closesocket(server_);
        if (pid_ > 0 && NovarcWaitChild(pid_, 0) < 0)
            NovarcKillChild(pid_);
    }

    /* Starts the client and hands it the connection; false on any failure. */
    bool Start()
    {
        SOCKET client;
        if (!NovarcStartWinsock() || !NovarcLoopbackPair(&server_, &client))
            return false;
        pid_ = NovarcSpawn(NOVARCPRINT_EXE, {"WINPORT_ROOT=" + root_.path(),
                                             "WINPORT_TIME_SCALE=" + std::to_string(kTimeScale)});
        bool ok = pid_ > 0 && NovarcHandOffSocket(client, (DWORD)pid_, 20000);
        closesocket(client);
        return ok;
    }
    void Send(int type, const std::string &payload = std::string())
    {
        NovarcSendRequest(server_, type, payload);
    }
    /* A wire message with any payload, even one too short to hold a type. */
    void SendRaw(const std::string &payload)
    {
        std::string copy = payload;
        SendMessageWithSize(server_, copy.data(), (int)copy.size(), 0x202);
    }
    std::string Reply(int timeoutMs = 10000)
    {
        std::string reply;
        return NovarcReceiveReply(server_, &reply, timeoutMs) ? reply : std::string("<none>");
    }
    /* Checksum request and its answer: proves the client still serves, in order. */
    std::string Checksum(const std::string &windowsPath)
    {
        Send(113, Str(windowsPath));
        return Reply();
    }
    /* The exit status, or -1 while it still runs after timeoutMs. */
    int WaitExit(int timeoutMs) { return NovarcWaitChild(pid_, timeoutMs); }
    void CloseConnection()
    {
        closesocket(server_);
        server_ = INVALID_SOCKET;
    }
    long pid() const { return pid_; }

    /* All debug log text of the root (one file per process). */
    std::vector<std::string> LogFiles() const
    {
        std::vector<std::string> files;
        const std::string dir = root_.driveC("novarc/bin/NovarcPrintDebug");
        if (std::filesystem::is_directory(dir))
            for (const auto &entry : std::filesystem::directory_iterator(dir))
                files.push_back(entry.path().string());
        return files;
    }
    std::string Log() const
    {
        std::string all;
        for (const std::string &file : LogFiles())
            all += ReadText(file);
        return all;
    }
    /* Waits until the log holds text. */
    bool WaitForLog(const std::string &text, int timeoutMs = 20000) const
    {
        for (int waited = 0; waited < timeoutMs; waited += 20) {
            if (Log().find(text) != std::string::npos)
                return true;
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        return false;
    }

private:
    const ScratchRoot &root_;
    SOCKET server_ = INVALID_SOCKET;
    long pid_ = -1;
};

inline std::string ChecksumReply(const std::string &hex)
{
    return std::string("\x03") + Int32(113) + hex + '\0';
}

#endif
