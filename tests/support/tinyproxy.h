#pragma once

#include <string>

#include <sys/types.h>

#include "support/tempdir.h"

// A tinyproxy of the test's own on 127.0.0.1: started in the foreground on a free port
// with its configuration and log in a temporary folder, stopped when the object goes.
class TinyProxy
{
public:
    // Starts it and waits (a few seconds at most) until its port accepts connections.
    // Throws std::runtime_error, with tinyproxy's own output, when it does not come up.
    TinyProxy();
    ~TinyProxy();
    TinyProxy(const TinyProxy &) = delete;
    TinyProxy &operator=(const TinyProxy &) = delete;

    int port() const { return m_port; }
    std::string host() const { return "127.0.0.1"; }

    // Everything tinyproxy has logged so far; a forwarded request shows as
    // "Request (file descriptor N): GET http://... HTTP/1.1".
    std::string log() const;

private:
    void stop();

    TempDir m_dir;
    int m_port = 0;
    pid_t m_pid = -1;
};
