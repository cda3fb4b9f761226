#include "support/tinyproxy.h"

#include <chrono>
#include <csignal>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include "support/freeport.h"

extern char **environ;

namespace {

std::string readFile(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

// posix_spawn's file actions, destroyed on every path.
class SpawnActions
{
public:
    SpawnActions() { ::posix_spawn_file_actions_init(&m_actions); }
    ~SpawnActions() { ::posix_spawn_file_actions_destroy(&m_actions); }
    SpawnActions(const SpawnActions &) = delete;
    SpawnActions &operator=(const SpawnActions &) = delete;

    posix_spawn_file_actions_t *get() { return &m_actions; }

private:
    posix_spawn_file_actions_t m_actions;
};

} // namespace

TinyProxy::TinyProxy()
{
    m_port = FreeLocalPort();
    const std::string config = m_dir.file("tinyproxy.conf");
    const std::string output = m_dir.file("tinyproxy.out");
    {
        std::ofstream out(config);
        out << "Port " << m_port << "\n"
            << "Listen 127.0.0.1\n"
            << "Allow 127.0.0.1\n"
            << "Timeout 30\n"
            << "MaxClients 20\n"
            << "LogFile \"" << m_dir.file("tinyproxy.log") << "\"\n"
            << "LogLevel Info\n";
        if (!out)
            throw std::runtime_error("cannot write " + config);
    }

    SpawnActions actions;
    ::posix_spawn_file_actions_addopen(actions.get(), STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    ::posix_spawn_file_actions_addopen(actions.get(), STDOUT_FILENO, output.c_str(),
                                       O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::posix_spawn_file_actions_adddup2(actions.get(), STDOUT_FILENO, STDERR_FILENO);
    std::string program = "tinyproxy", foreground = "-d", configFlag = "-c";
    char *argv[] = {program.data(), foreground.data(), configFlag.data(),
                    const_cast<char *>(config.c_str()), nullptr};
    if (::posix_spawnp(&m_pid, "tinyproxy", actions.get(), nullptr, argv, environ) != 0) {
        m_pid = -1;
        throw std::runtime_error("cannot start tinyproxy (is it installed?)");
    }

    using namespace std::chrono_literals;
    const auto deadline = std::chrono::steady_clock::now() + 10s;
    while (!LocalPortAccepts(m_port)) {
        int status = 0;
        if (::waitpid(m_pid, &status, WNOHANG) == m_pid) {
            m_pid = -1;
            throw std::runtime_error("tinyproxy ended at start: " + readFile(output));
        }
        if (std::chrono::steady_clock::now() > deadline) {
            stop();
            throw std::runtime_error("tinyproxy did not accept connections on port " +
                                     std::to_string(m_port) + ": " + readFile(output));
        }
        std::this_thread::sleep_for(20ms);
    }
}

TinyProxy::~TinyProxy()
{
    stop();
}

std::string TinyProxy::log() const
{
    return readFile(m_dir.file("tinyproxy.log"));
}

void TinyProxy::stop()
{
    if (m_pid <= 0)
        return;
    ::kill(m_pid, SIGTERM);
    using namespace std::chrono_literals;
    const auto deadline = std::chrono::steady_clock::now() + 5s;
    int status = 0;
    while (::waitpid(m_pid, &status, WNOHANG) == 0) {
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, &status, 0);
            break;
        }
        std::this_thread::sleep_for(10ms);
    }
    m_pid = -1;
}
