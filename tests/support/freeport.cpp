#include "support/freeport.h"

#include <cstdint>
#include <stdexcept>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

// A socket descriptor closed when it goes.
class Socket
{
public:
    Socket() : m_fd(::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0)) {}
    ~Socket()
    {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Socket(const Socket &) = delete;
    Socket &operator=(const Socket &) = delete;

    int fd() const { return m_fd; }

private:
    int m_fd;
};

sockaddr_in loopback(int port)
{
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return address;
}

} // namespace

int FreeLocalPort()
{
    Socket socket;
    if (socket.fd() < 0)
        throw std::runtime_error("cannot create a socket");
    sockaddr_in address = loopback(0);
    if (::bind(socket.fd(), reinterpret_cast<sockaddr *>(&address), sizeof address) != 0)
        throw std::runtime_error("cannot bind a socket on 127.0.0.1");
    socklen_t length = sizeof address;
    if (::getsockname(socket.fd(), reinterpret_cast<sockaddr *>(&address), &length) != 0)
        throw std::runtime_error("cannot read the port of a socket");
    return ntohs(address.sin_port);
}

bool LocalPortAccepts(int port)
{
    Socket socket;
    if (socket.fd() < 0)
        return false;
    sockaddr_in address = loopback(port);
    return ::connect(socket.fd(), reinterpret_cast<sockaddr *>(&address), sizeof address) == 0;
}
