#pragma once

// A TCP port on 127.0.0.1 that nothing listened on a moment ago: the kernel picks it
// for a socket that is closed again at once. Throws std::runtime_error when it cannot.
int FreeLocalPort();

// Whether something accepts connections on 127.0.0.1:port right now.
bool LocalPortAccepts(int port);
