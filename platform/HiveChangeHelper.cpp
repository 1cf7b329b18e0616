#include "platform/HiveChangeHelper.h"

#include "platform/HelperProgram.h"

#include <QFile>

#include <cerrno>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// Milliseconds left until deadline, for poll().
int millisecondsLeft(Clock::time_point deadline)
{
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now());
    return int(std::max<qint64>(0, std::min<qint64>(left.count(), 1 << 30)));
}

// Waits until fd is ready for events; false at the deadline.
bool waitFor(int fd, short events, Clock::time_point deadline)
{
    for (;;) {
        pollfd p{fd, events, 0};
        const int ready = ::poll(&p, 1, millisecondsLeft(deadline));
        if (ready > 0)
            return true;
        if (ready == 0 || errno != EINTR)
            return false;
    }
}

} // namespace

HiveChangeSettings HiveChangeSettings::standard()
{
    HiveChangeSettings settings;
    settings.helperProgram = hiveHelperProgram();
    return settings;
}

HiveChangeHelper::HiveChangeHelper(HiveChangeSettings settings, int hive)
    : m_settings(std::move(settings)), m_hive(hive)
{
}

HiveChangeHelper::~HiveChangeHelper()
{
    stop();
}

bool HiveChangeHelper::change(const HiveChangeProtocol::Request &request)
{
    if (!carryOut(request, -1))
        return false;
    m_made.push_back(request);
    return true;
}

bool HiveChangeHelper::writeTo(int file)
{
    return carryOut({HiveChangeProtocol::Operation::Commit, 0, {}, {}}, file);
}

bool HiveChangeHelper::carryOut(const HiveChangeProtocol::Request &request, int file)
{
    if (m_broken || (m_pid < 0 && !start()))
        return false;
    const Clock::time_point deadline = Clock::now() + m_settings.timeout;
    Answer answer = Answer::Ended;
    if (send(HiveChangeProtocol::encode(request), file, deadline))
        answer = answerBy(deadline);
    if (answer == Answer::Done || answer == Answer::Refused)
        return answer == Answer::Done;
    // A helper that ended is started anew for the next request; one that
    // hung would hang again on the same hive.
    stop();
    m_broken = answer == Answer::TimedOut;
    return false;
}

bool HiveChangeHelper::start()
{
    const QByteArray program = QFile::encodeName(m_settings.helperProgram);
    int ends[2];
    if (program.isEmpty() || ::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, ends) != 0) {
        m_broken = true;
        return false;
    }
    // The helper gets the socket as its standard input, nothing for its
    // output (the library writes its complaints there), the hive as
    // descriptor 3 and no other descriptor, every signal in its default state
    // and an empty environment.
    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attributes;
    ::posix_spawn_file_actions_init(&actions);
    ::posix_spawnattr_init(&attributes);
    ::posix_spawn_file_actions_adddup2(&actions, ends[1], STDIN_FILENO);
    ::posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    ::posix_spawn_file_actions_addopen(&actions, STDERR_FILENO, "/dev/null", O_WRONLY, 0);
    ::posix_spawn_file_actions_adddup2(&actions, m_hive, HiveChangeProtocol::kHiveDescriptor);
#if defined(__GLIBC__) && (__GLIBC__ > 2 || __GLIBC_MINOR__ >= 34)
    ::posix_spawn_file_actions_addclosefrom_np(&actions, HiveChangeProtocol::kHiveDescriptor + 1);
#endif
    sigset_t none;
    sigset_t all;
    ::sigemptyset(&none);
    ::sigfillset(&all);
    ::posix_spawnattr_setsigmask(&attributes, &none);
    ::posix_spawnattr_setsigdefault(&attributes, &all);
    ::posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
    char *argv[] = {const_cast<char *>(program.constData()), nullptr};
    char *envp[] = {nullptr};
    const int spawned =
        ::posix_spawn(&m_pid, program.constData(), &actions, &attributes, argv, envp);
    ::posix_spawn_file_actions_destroy(&actions);
    ::posix_spawnattr_destroy(&attributes);
    ::close(ends[1]);
    if (spawned != 0) {
        m_pid = -1;
        ::close(ends[0]);
        m_broken = true;
        return false;
    }
    m_channel = ends[0];
    ::fcntl(m_channel, F_SETFL, ::fcntl(m_channel, F_GETFL) | O_NONBLOCK);

    // The helper answers once it has read the hive; then it is given again
    // what went through before.  A helper that cannot do that now never will.
    Clock::time_point deadline = Clock::now() + m_settings.timeout;
    bool ready = answerBy(deadline) == Answer::Done;
    for (size_t i = 0; ready && i < m_made.size(); ++i) {
        deadline = Clock::now() + m_settings.timeout;
        ready = send(HiveChangeProtocol::encode(m_made[i]), -1, deadline) &&
                answerBy(deadline) == Answer::Done;
    }
    if (!ready) {
        stop();
        m_broken = true;
    }
    return ready;
}

bool HiveChangeHelper::send(const std::string &bytes, int file, Deadline deadline)
{
    size_t sent = 0;
    while (sent < bytes.size()) {
        iovec io{const_cast<char *>(bytes.data() + sent), bytes.size() - sent};
        msghdr message{};
        message.msg_iov = &io;
        message.msg_iovlen = 1;
        // The file travels with the first byte of the request.
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
        if (file >= 0 && sent == 0) {
            message.msg_control = control;
            message.msg_controllen = sizeof control;
            cmsghdr *c = CMSG_FIRSTHDR(&message);
            c->cmsg_level = SOL_SOCKET;
            c->cmsg_type = SCM_RIGHTS;
            c->cmsg_len = CMSG_LEN(sizeof(int));
            std::memcpy(CMSG_DATA(c), &file, sizeof(int));
        }
        const ssize_t put = ::sendmsg(m_channel, &message, MSG_NOSIGNAL);
        if (put > 0) {
            sent += size_t(put);
            continue;
        }
        if (put < 0 && errno == EINTR)
            continue;
        if (put < 0 && (errno == EAGAIN || errno == EWOULDBLOCK) &&
            waitFor(m_channel, POLLOUT, deadline))
            continue;
        return false;
    }
    return true;
}

HiveChangeHelper::Answer HiveChangeHelper::answerBy(Clock::time_point deadline)
{
    for (;;) {
        std::uint8_t status = 0;
        const ssize_t got = ::recv(m_channel, &status, 1, 0);
        if (got == 1)
            return status == HiveChangeProtocol::kDone ? Answer::Done : Answer::Refused;
        if (got == 0 || (errno != EINTR && errno != EAGAIN && errno != EWOULDBLOCK))
            return Answer::Ended;
        if (errno == EAGAIN || errno == EWOULDBLOCK) {
            if (!waitFor(m_channel, POLLIN, deadline))
                return Answer::TimedOut;
        }
    }
}

void HiveChangeHelper::stop()
{
    if (m_channel >= 0) {
        ::close(m_channel);
        m_channel = -1;
    }
    if (m_pid > 0) {
        ::kill(m_pid, SIGKILL);
        while (::waitpid(m_pid, nullptr, 0) < 0 && errno == EINTR) {
        }
        m_pid = -1;
    }
}
