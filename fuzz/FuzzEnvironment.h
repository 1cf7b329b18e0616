#pragma once

#include "platform/AppPaths.h"

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>

// The process-wide surroundings every fuzz target runs in: a core
// application, a temporary application folder, and Qt's warnings silenced so
// that they do not slow the runs down.  Everything else a target needs (tables,
// engine, session, texts) it makes afresh for each input.

// Sets the environment up once; later calls do nothing.
void initFuzzEnvironment(int *argc, char ***argv);

// The temporary application folder, without a trailing separator.
QString fuzzFolder();
// The paths of that folder.
const AppPaths &fuzzPaths();

// Writes bytes to path, replacing the file; aborts when that fails, since a
// run that cannot set up its input tests nothing.
void writeFuzzFile(const QString &path, const QByteArray &bytes);

// The input as a byte array that shares the fuzzer's buffer.
inline QByteArray fuzzBytes(const uint8_t *data, size_t size)
{
    return QByteArray::fromRawData(reinterpret_cast<const char *>(data), qsizetype(size));
}

// Reports a broken property of the code under test and stops the run, so
// libFuzzer keeps the input as a crash.
[[noreturn]] void fuzzFailure(const char *condition, const char *file, int line);

#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition))                                                                          \
            fuzzFailure(#condition, __FILE__, __LINE__);                                           \
    } while (false)
