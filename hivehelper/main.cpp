// torvakine-hive-helper: makes the changes of one registry hive for the
// program, in a process of its own.  The hive library ends the process with a
// failed assertion on some damaged hives; here that ends only this helper,
// and the program, which started it with exec and waits for it with a
// time-out, records the change as failed and goes on.
//
// Started with the hive open read-only as descriptor 3 and a stream socket
// to the program as standard input; the requests and answers are those of
// platform/HiveChangeProtocol.h.  Ends when the program closes the socket.
#include "platform/HiveChangeProtocol.h"

#include <hivex.h>

#include <cerrno>
#include <cstring>
#include <string>
#include <sys/socket.h>
#include <unistd.h>
#include <vector>

namespace {

using namespace HiveChangeProtocol;

constexpr int kChannel = 0;

// Reads exactly size bytes from the channel; a descriptor that comes along
// is kept in *received (one already there is closed).
bool readExactly(void *buffer, size_t size, int *received)
{
    auto *at = static_cast<char *>(buffer);
    while (size > 0) {
        iovec io{at, size};
        alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))];
        msghdr message{};
        message.msg_iov = &io;
        message.msg_iovlen = 1;
        message.msg_control = control;
        message.msg_controllen = sizeof control;
        const ssize_t got = ::recvmsg(kChannel, &message, MSG_CMSG_CLOEXEC);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        for (cmsghdr *c = CMSG_FIRSTHDR(&message); c; c = CMSG_NXTHDR(&message, c)) {
            if (c->cmsg_level == SOL_SOCKET && c->cmsg_type == SCM_RIGHTS) {
                if (*received >= 0)
                    ::close(*received);
                std::memcpy(received, CMSG_DATA(c), sizeof(int));
            }
        }
        at += got;
        size -= size_t(got);
    }
    return true;
}

bool answer(std::uint8_t status)
{
    for (;;) {
        const ssize_t put = ::send(kChannel, &status, 1, MSG_NOSIGNAL);
        if (put == 1)
            return true;
        if (put < 0 && errno == EINTR)
            continue;
        return false;
    }
}

std::string descriptorPath(int fd)
{
    return "/proc/self/fd/" + std::to_string(fd);
}

hive_h *openHive()
{
    hive_h *hive = hivex_open(descriptorPath(kHiveDescriptor).c_str(), HIVEX_OPEN_WRITE);
    if (!hive)
        hive = hivex_open(("/dev/fd/" + std::to_string(kHiveDescriptor)).c_str(), HIVEX_OPEN_WRITE);
    return hive;
}

bool setValues(hive_h *hive, hive_node_h node, std::vector<Value> values)
{
    std::vector<hive_set_value> list;
    list.reserve(values.size());
    for (Value &v : values) {
        hive_set_value set{};
        set.key = v.name.data();
        set.len = v.data.size();
        set.value = v.data.data();
        // The type word is copied as the number the hive held.
        std::memcpy(&set.t, &v.type, sizeof v.type);
        list.push_back(set);
    }
    return hivex_node_set_values(hive, node, list.size(), list.data(), 0) == 0;
}

// Makes the keys of the request, each below its parent, with their values.
// When one cannot be made, the keys made for the request go again, so that a
// refused request leaves the hive as it was.
bool addKeys(hive_h *hive, const Request &request)
{
    std::vector<hive_node_h> made;
    for (const NewKey &key : request.keys) {
        const hive_node_h parent = key.parent < 0 ? request.node : made[size_t(key.parent)];
        const hive_node_h node = hivex_node_add_child(hive, parent, key.name.c_str());
        if (node)
            made.push_back(node);
        if (!node || (!key.values.empty() && !setValues(hive, node, key.values))) {
            // Keys whose parent is the request's key, made last first.
            for (size_t i = made.size(); i-- > 0;) {
                if (request.keys[i].parent < 0)
                    hivex_node_delete_child(hive, made[i]);
            }
            return false;
        }
    }
    return true;
}

bool carryOut(hive_h *hive, const Request &request, int file)
{
    switch (request.operation) {
    case Operation::SetValues:
        return setValues(hive, request.node, request.values);
    case Operation::AddKeys:
        return addKeys(hive, request);
    case Operation::DeleteKey:
        return hivex_node_delete_child(hive, request.node) == 0;
    case Operation::Commit:
        return file >= 0 && hivex_commit(hive, descriptorPath(file).c_str(), 0) == 0;
    }
    return false;
}

} // namespace

int main()
{
    hive_h *hive = openHive();
    if (!answer(hive ? kDone : kRefused) || !hive)
        return 1;
    int file = -1;
    for (;;) {
        unsigned char header[4];
        if (!readExactly(header, sizeof header, &file))
            break;
        const std::uint32_t length = lengthOf(header);
        if (length > kLargestRequest)
            break;
        std::string body(length, '\0');
        if (!readExactly(body.data(), length, &file))
            break;
        const std::optional<Request> request = decode(body);
        const bool done = request && carryOut(hive, *request, file);
        if (file >= 0) {
            ::close(file);
            file = -1;
        }
        if (!answer(done ? kDone : kRefused))
            break;
    }
    hivex_close(hive);
    return 0;
}
