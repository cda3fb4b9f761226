#include "support/rawhttpserver.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <utility>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <strings.h>
#include <sys/socket.h>
#include <unistd.h>

namespace {

constexpr int PollSliceMs = 50;
// How long one connection may take to deliver its request.
constexpr auto RequestBudget = std::chrono::seconds(10);

bool waitReadable(int fd)
{
    pollfd entry{fd, POLLIN, 0};
    return ::poll(&entry, 1, PollSliceMs) > 0;
}

// The value of Content-Length in a request head; 0 when there is none.
std::size_t contentLength(const std::string &head)
{
    std::size_t lineStart = head.find("\r\n");
    while (lineStart != std::string::npos && lineStart + 2 < head.size()) {
        const std::size_t begin = lineStart + 2;
        const std::size_t end = head.find("\r\n", begin);
        const std::string line = head.substr(begin, end - begin);
        static const std::string name = "content-length:";
        if (line.size() > name.size() && ::strncasecmp(line.c_str(), name.c_str(), name.size()) == 0) {
            try {
                return std::stoul(line.substr(name.size()));
            } catch (const std::exception &) {
                return 0;
            }
        }
        lineStart = end;
    }
    return 0;
}

} // namespace

RawHttpServer::RawHttpServer(std::string answer)
    : m_answer(std::move(answer))
{
    m_listener = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_listener < 0)
        throw std::runtime_error("cannot create a socket");
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(m_listener, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0
        || ::listen(m_listener, 8) != 0
        || ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &length) != 0) {
        ::close(m_listener);
        throw std::runtime_error("cannot listen on 127.0.0.1");
    }
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { serve(); });
}

RawHttpServer::~RawHttpServer()
{
    m_stopping = true;
    m_thread.join();
    ::close(m_listener);
}

std::string RawHttpServer::url(const std::string &path) const
{
    return "http://127.0.0.1:" + std::to_string(m_port) + path;
}

std::vector<std::string> RawHttpServer::requests() const
{
    std::lock_guard lock(m_mutex);
    return m_requests;
}

void RawHttpServer::serve()
{
    while (!m_stopping) {
        if (!waitReadable(m_listener))
            continue;
        const int connection = ::accept4(m_listener, nullptr, nullptr, SOCK_CLOEXEC);
        if (connection < 0)
            continue;
        answer(connection);
        ::close(connection);
    }
}

void RawHttpServer::answer(int connection)
{
    std::string received;
    std::size_t wanted = std::string::npos; // head plus body, once the head is complete
    const auto deadline = std::chrono::steady_clock::now() + RequestBudget;
    while (!m_stopping && received.size() < wanted && std::chrono::steady_clock::now() < deadline) {
        if (!waitReadable(connection))
            continue;
        char buffer[4096];
        const ssize_t got = ::recv(connection, buffer, sizeof buffer, 0);
        if (got <= 0)
            break;
        received.append(buffer, static_cast<std::size_t>(got));
        if (wanted == std::string::npos) {
            const std::size_t headEnd = received.find("\r\n\r\n");
            if (headEnd != std::string::npos)
                wanted = headEnd + 4 + contentLength(received.substr(0, headEnd + 2));
        }
    }
    {
        std::lock_guard lock(m_mutex);
        m_requests.push_back(received);
    }
    std::size_t sent = 0;
    while (sent < m_answer.size()) {
        const ssize_t count = ::send(connection, m_answer.data() + sent, m_answer.size() - sent, MSG_NOSIGNAL);
        if (count <= 0)
            break;
        sent += static_cast<std::size_t>(count);
    }
    ::shutdown(connection, SHUT_WR);
}
