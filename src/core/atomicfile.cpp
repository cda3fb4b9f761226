#include "core/atomicfile.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <sstream>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "core/error.h"

namespace velmora {

namespace {

std::string systemReason(int err)
{
    return std::strerror(err);
}

// umask can only be read by setting it; do that once, before any thread starts.
const mode_t processUmask = [] {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return mask;
}();

} // namespace

void WriteFileAtomically(const std::string &path, std::string_view data)
{
    std::string temp = path + ".part-XXXXXX";
    const int fd = ::mkstemp(temp.data());
    if (fd < 0) {
        const int err = errno;
        throw Error("cannot write file \"" + path + "\": " + systemReason(err), err);
    }
    const char *p = data.data();
    std::size_t left = data.size();
    while (left > 0) {
        const ssize_t n = ::write(fd, p, left);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            const int err = errno;
            ::close(fd);
            ::unlink(temp.c_str());
            throw Error("cannot write file \"" + path + "\": " + systemReason(err), err);
        }
        p += n;
        left -= static_cast<std::size_t>(n);
    }
    // mkstemp creates 0600; give the file the usual permissions of a new file.
    ::fchmod(fd, 0666 & ~processUmask);
    if (::close(fd) != 0) {
        const int err = errno;
        ::unlink(temp.c_str());
        throw Error("cannot write file \"" + path + "\": " + systemReason(err), err);
    }
    if (::rename(temp.c_str(), path.c_str()) != 0) {
        const int err = errno;
        ::unlink(temp.c_str());
        throw Error("cannot write file \"" + path + "\": " + systemReason(err), err);
    }
}

std::string ReadWholeFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        const int err = errno;
        throw Error("Cannot open file \"" + path + "\". " + systemReason(err), err);
    }
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

} // namespace velmora
