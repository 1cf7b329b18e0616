// Writes the two browser cookie stores of the demo folder: a Firefox
// cookies.sqlite and a Chromium Cookies, each holding one cookie of the
// sample tracking-cookie patterns and one harmless cookie.
// Usage: torvakine-demostores DEMO_FOLDER
#include "tests/support/CookieStoreBuilder.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cstdio>

namespace {

// 2038-01-01, far enough ahead for a demo.
constexpr qint64 kExpiry = 2145916800;

bool write(const QString &path, CookieStoreLayout layout, const QList<TestCookie> &cookies)
{
    QDir().mkpath(QFileInfo(path).path());
    QFile::remove(path);
    QString error;
    if (!writeCookieStore(path, layout, cookies, {}, &error)) {
        std::fprintf(stderr, "cannot write %s: %s\n", qPrintable(path), qPrintable(error));
        return false;
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: %s DEMO_FOLDER\n", argv[0]);
        return 2;
    }
    const QString demo = QFile::decodeName(argv[1]);
    TestCookie harmless;
    harmless.host = "www.example.org";
    harmless.name = "session";
    harmless.value = "keep-me";
    TestCookie tracking;
    tracking.host = ".tracking.demo.torvakine.test";
    tracking.name = "visitor";
    tracking.value = "demo-0042";

    harmless.expiry = tracking.expiry = kExpiry;
    const bool firefox = write(demo + "/Mozilla/Firefox/Profiles/demo.default/cookies.sqlite",
                               CookieStoreLayout::Firefox2020, {harmless, tracking});
    harmless.expiry = tracking.expiry = chromiumTime(kExpiry);
    harmless.value.clear();
    harmless.encryptedValue = "v10\x01\x02\x03";
    const bool chromium = write(demo + "/Chromium/User Data/Default/Network/Cookies",
                                CookieStoreLayout::Chromium2024, {harmless, tracking});
    return firefox && chromium ? 0 : 1;
}
