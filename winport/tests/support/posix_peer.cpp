/*
 * The plain BSD-sockets peer of the Winsock tests (see posix_peer.h).
 */
#include "posix_peer.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

int PosixConnect(uint16_t port)
{
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    sockaddr_in sin = {};
    sin.sin_family = AF_INET;
    sin.sin_port = htons(port);
    sin.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (connect(fd, reinterpret_cast<sockaddr *>(&sin), sizeof sin) != 0) {
        close(fd);
        return -1;
    }
    return fd;
}

bool PosixSendAll(int fd, const void *data, size_t length)
{
    const char *p = static_cast<const char *>(data);
    while (length > 0) {
        ssize_t n = send(fd, p, length, MSG_NOSIGNAL);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        p += n;
        length -= static_cast<size_t>(n);
    }
    return true;
}

void PosixAbort(int fd)
{
    linger l = {1, 0};
    setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    close(fd);
}

void PosixClose(int fd)
{
    close(fd);
}

bool AllSocketsCloseOnExec(int *sockets)
{
    *sockets = 0;
    DIR *d = opendir("/proc/self/fd");
    if (!d)
        return false;
    bool all = true;
    const int self = dirfd(d);
    while (dirent *e = readdir(d)) {
        if (e->d_name[0] == '.')
            continue;
        int fd = std::atoi(e->d_name);
        struct stat st;
        if (fd == self || fstat(fd, &st) != 0 || !S_ISSOCK(st.st_mode))
            continue;
        ++*sockets;
        if (!(fcntl(fd, F_GETFD) & FD_CLOEXEC))
            all = false;
    }
    closedir(d);
    return all;
}
