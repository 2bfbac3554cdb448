#pragma once
// Files that are not regular files, for the tests of what the reader refuses
// (POSIX only).

#include <fcntl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <string>

// A FIFO at `path` whose writer has written `bytes` and keeps it open, so a
// read to its end would wait for ever. The writer's descriptor, or -1.
inline int fifoWithSilentWriter(const std::string& path, const std::string& bytes) {
    if (::mkfifo(path.c_str(), 0600) != 0) return -1;
    const int writer = ::open(path.c_str(), O_RDWR | O_NONBLOCK);
    if (writer < 0) return -1;
    if (::write(writer, bytes.data(), bytes.size()) != static_cast<ssize_t>(bytes.size())) {
        ::close(writer);
        return -1;
    }
    return writer;
}

// A Unix socket listening at `path`. Its descriptor, or -1.
inline int listeningSocket(const std::string& path) {
    sockaddr_un address{};
    if (path.size() >= sizeof address.sun_path) return -1;
    address.sun_family = AF_UNIX;
    path.copy(address.sun_path, path.size());
    const int listener = ::socket(AF_UNIX, SOCK_STREAM, 0);
    if (listener < 0) return -1;
    if (::bind(listener, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        ::listen(listener, 1) != 0) {
        ::close(listener);
        return -1;
    }
    return listener;
}
