#include "fuzz/FuzzEnvironment.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <cstdlib>
#include <memory>

namespace {

struct Environment {
    // Never destroyed: libFuzzer leaves through exit(), after parts of Qt
    // that the application's destructor still needs are gone.
    QCoreApplication *application = nullptr;
    std::unique_ptr<QTemporaryDir> folder;
    AppPaths paths;
};

Environment &environment()
{
    static Environment env;
    return env;
}

void dropMessage(QtMsgType, const QMessageLogContext &, const QString &) {}

} // namespace

void initFuzzEnvironment(int *argc, char ***argv)
{
    Environment &env = environment();
    if (env.application)
        return;
    qInstallMessageHandler(dropMessage);
    env.application = new QCoreApplication(*argc, *argv);
    env.folder = std::make_unique<QTemporaryDir>(QDir::tempPath() +
                                                 QStringLiteral("/torvakine-fuzz-XXXXXX"));
    if (!env.folder->isValid()) {
        std::fprintf(stderr, "cannot create a temporary application folder\n");
        std::abort();
    }
    env.paths = AppPaths::forFolder(env.folder->path());
    // The temporary folder goes with the process, also when libFuzzer ends
    // it through exit().
    std::atexit([] { environment().folder.reset(); });
}

QString fuzzFolder()
{
    return environment().folder->path();
}

const AppPaths &fuzzPaths()
{
    return environment().paths;
}

void writeFuzzFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(bytes) != bytes.size()) {
        std::fprintf(stderr, "cannot write %s\n", qPrintable(path));
        std::abort();
    }
}

void fuzzFailure(const char *condition, const char *file, int line)
{
    std::fprintf(stderr, "%s:%d: check failed: %s\n", file, line, condition);
    std::abort();
}
