/*
 * What the update port's end-to-end tests share: the service fixture with
 * novarc-send --update-port, installer scripts that record how they ran,
 * and one update connection driven by hand (for a second server, a peer
 * that misbehaves, or a connection cut half-way).
 */
#ifndef TESTS_UPDATE_TEST_SUPPORT_H
#define TESTS_UPDATE_TEST_SUPPORT_H

#include "service_harness.h"
#include "update_side.h"

constexpr int kUpdatePort = 13002;

/* Whether the other end closed sock within timeoutMs. */
inline bool ClosedByPeer(SOCKET sock, int timeoutMs)
{
    fd_set readable;
    FD_ZERO(&readable);
    FD_SET(sock, &readable);
    timeval tv = {timeoutMs / 1000, (timeoutMs % 1000) * 1000};
    char byte;
    return select(0, &readable, nullptr, nullptr, &tv) == 1 && recv(sock, &byte, 1, 0) <= 0;
}

/* One update connection to the service, as a server would drive it. */
class UpdateConnection {
public:
    UpdateConnection() { sock_ = NovarcConnect("127.0.0.1", kUpdatePort); }
    ~UpdateConnection() { Close(); }
    bool Connected() const { return sock_ != INVALID_SOCKET; }
    SOCKET Socket() const { return sock_; }
    void Close()
    {
        if (sock_ != INVALID_SOCKET)
            closesocket(sock_);
        sock_ = INVALID_SOCKET;
    }
    void Message(int subCode, const std::string &fields = std::string())
    {
        NovarcSendUpdate(sock_, subCode, fields);
    }
    /* The next reply as bytes, "<none>" when none came. */
    std::string Reply(int timeoutMs = 30000)
    {
        std::string reply;
        return NovarcReceiveReply(sock_, &reply, timeoutMs) ? reply : std::string("<none>");
    }
    /* A data message and its status (0: no status reply). */
    int Data(int subCode, const std::string &chunk)
    {
        Message(subCode, chunk);
        const std::string reply = Reply();
        return reply.size() == 5 && reply[0] == 3 ? (unsigned char)reply[1] : 0;
    }
    /* An end message and its replies decoded. */
    std::string End(int subCode, int size, const std::string &before = std::string())
    {
        Message(subCode, before + Int32(size));
        std::string out = NovarcDecodeUpdateReply(Reply());
        return out + ", " + NovarcDecodeUpdateReply(Reply());
    }

private:
    SOCKET sock_ = INVALID_SOCKET;
};

class UpdateFixture : public ServiceFixture {
protected:
    /* The service's clock: kTimeScale times faster, unless a test needs
     * the real bounds (1). */
    int serviceTimeScale = kTimeScale;
    void StartService() { ServiceFixture::StartService(serviceTimeScale); }
    /* An update that closed the print port has the service open it again
     * when it ends, a moment after its last log line and reply: true once
     * the port takes connections. */
    static bool PrintPortBack()
    {
        return WaitFor(
            [] {
                SOCKET probe = NovarcConnect("127.0.0.1", kPrintPort);
                if (probe == INVALID_SOCKET)
                    return false;
                closesocket(probe);
                return true;
            },
            std::chrono::seconds(10));
    }
    /* novarc-send --update-port with these arguments; its output. */
    std::string Send(const std::string &args)
    {
        return RunCommand(SenderEnv(root) + NOVARC_SEND_EXE " --update-port " + args + " 2>&1");
    }
    /* An installer that records its arguments in C:\kel\ran-<name>.txt
     * after running `body`. */
    std::string WriteInstaller(const std::string &name, const std::string &body)
    {
        const std::string path = root.path() + "/" + name + "-installer.sh";
        WriteText(path, "#!/bin/sh\n" + body + "echo \"$*\" > \"$WINPORT_ROOT/drive_c/kel/ran-" +
                            name + ".txt\"\n");
        return path;
    }
    /* The arguments an installer ran with, "<not run>" when it did not. */
    std::string Ran(const std::string &name)
    {
        const std::string path = root.driveC("kel/ran-" + name + ".txt");
        if (!fs::exists(path))
            return "<not run>";
        std::string text = ReadText(path);
        while (!text.empty() && text.back() == '\n')
            text.pop_back();
        return text;
    }
    /* Temporary and half-made files left in the transfer folders. */
    std::string TransferLeftovers()
    {
        std::string found;
        const std::string dir = root.driveC("kel/transfer");
        if (!fs::exists(dir))
            return found;
        for (const auto &entry : fs::recursive_directory_iterator(dir)) {
            const std::string name = entry.path().filename().string();
            if (name.find("PRT_TMP") != std::string::npos ||
                entry.path().parent_path().filename() == "verified")
                found += name + " ";
        }
        return found;
    }
};

#endif /* TESTS_UPDATE_TEST_SUPPORT_H */
