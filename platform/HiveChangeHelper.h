#pragma once

#include "platform/HiveChangeProtocol.h"

#include <QString>

#include <chrono>
#include <sys/types.h>
#include <vector>

// Where the hive helper is and how long it may take for one step.
struct HiveChangeSettings {
    // The helper program; see hiveHelperProgram().
    QString helperProgram;
    // The longest wait for the helper to read the hive or to carry out one
    // request (a commit writes the whole hive).
    std::chrono::milliseconds timeout{60000};

    // The helper beside the running program and the usual time-out.
    static HiveChangeSettings standard();
};

// The changes of one hive, made by the hive helper: a process of its own,
// started with exec (never a copy of this process, whose other threads may
// hold locks at the time), that reads the hive from the descriptor it is
// given and carries out one request after the other in its own memory.
//
// A request that makes the helper end (the hive library aborts on some
// damaged hives), that it refuses, or that it does not answer within the
// time-out fails alone: a helper that ended or hung is stopped, and the next
// request starts a new one, which is given the requests that went through
// before.  Nothing of this process's memory is ever touched by the library's
// changes, so no hive can end or hang the program.
class HiveChangeHelper
{
public:
    // hive: the hive file, open for reading; it must stay open while the
    // object lives.
    HiveChangeHelper(HiveChangeSettings settings, int hive);
    ~HiveChangeHelper();
    HiveChangeHelper(const HiveChangeHelper &) = delete;
    HiveChangeHelper &operator=(const HiveChangeHelper &) = delete;

    // Carries out a SetValues or DeleteKey request; true when it went through.
    bool change(const HiveChangeProtocol::Request &request);
    // Writes the hive with every change that went through into the open
    // file; true when the helper wrote it all.
    bool writeTo(int file);

private:
    using Deadline = std::chrono::steady_clock::time_point;
    // What came back for a request.
    enum class Answer { Done, Refused, Ended, TimedOut };

    bool start();
    bool carryOut(const HiveChangeProtocol::Request &request, int file);
    bool send(const std::string &bytes, int file, Deadline deadline);
    Answer answerBy(Deadline deadline);
    void stop();

    HiveChangeSettings m_settings;
    int m_hive;
    pid_t m_pid = -1;
    int m_channel = -1;
    // The requests that went through, for a helper started anew.
    std::vector<HiveChangeProtocol::Request> m_made;
    // A helper started anew refused a request that went through before: the
    // hive is not changed any further.
    bool m_broken = false;
};
