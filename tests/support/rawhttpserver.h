#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A bare HTTP server on 127.0.0.1 for what a full server hides or will not do: it
// records every request byte for byte (request line included) and answers each one
// with the same fixed bytes, then closes the connection.
class RawHttpServer
{
public:
    // `answer` is sent as it is: status line, headers, blank line and body.
    explicit RawHttpServer(std::string answer);
    ~RawHttpServer();
    RawHttpServer(const RawHttpServer &) = delete;
    RawHttpServer &operator=(const RawHttpServer &) = delete;

    int port() const { return m_port; }
    std::string url(const std::string &path) const;

    // The requests received so far, head and body as they came.
    std::vector<std::string> requests() const;

private:
    void serve();
    void answer(int connection);

    std::string m_answer;
    int m_listener = -1;
    int m_port = 0;
    std::atomic<bool> m_stopping{false};
    mutable std::mutex m_mutex;
    std::vector<std::string> m_requests;
    std::thread m_thread;
};
