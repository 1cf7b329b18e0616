// What the quarantine keeps of registry rows and cookie-store rows: a
// subtree read from a real hive, the rows a store removal hands over whole,
// their insertion again, and the kept texts written and read back.
#include "platform/HiveRegistry.h"
#include "removal/CookieStoreRemoval.h"
#include "removal/QuarantineCookieRowItem.h"
#include "removal/QuarantineRegistryItem.h"
#include "tests/support/CookieStoreBuilder.h"
#include "tests/support/CookieStoreFiles.h"
#include "tests/support/HiveBuilder.h"
#include "tests/support/TestFiles.h"

#include <QTemporaryDir>
#include <QTest>

namespace {

const RegistryValueData *valueNamed(const RegistryKeyTree &tree, const QString &name)
{
    for (const RegistryValueData &v : tree.values) {
        if (v.name == name)
            return &v;
    }
    return nullptr;
}

} // namespace

class QuarantineItemsTest : public QObject
{
    Q_OBJECT

private slots:
    void registrySubtreeFromHives();
    void registryItemText();
    void registryItemTextRefusesDamage_data();
    void registryItemTextRefusesDamage();
    void cookieRowsHandedOverWholeAndInsertedAgain();
    void cookieRowItemText();
};

void QuarantineItemsTest::registrySubtreeFromHives()
{
    QTemporaryDir dir;
    const QString root = dir.path();
    HiveBuilder software(machineHivePath(root, "SOFTWARE"));
    software.setText("Bad", "Name", "top");
    software.setDword("Bad\\Run", "Count", 7);
    software.setRaw("Bad\\Run", "Blob", hive_t_REG_BINARY, QByteArray("\x00\x01\xff", 3));
    software.addKey("Bad\\Run\\Deeper\\Deepest");
    software.setText("Bad\\Run", "", "default value");
    software.commit();
    // The same key in two user profiles: a copy of each.
    for (const char *user : {"alice", "bob"}) {
        HiveBuilder profile(root + "/Users/" + user + "/NTUSER.DAT");
        profile.setText("Software\\Tracker", "Id", QString::fromLatin1(user));
        profile.commit();
    }
    HiveRegistry registry(root, RegistryAccess::ReadOnly);

    const std::optional<QList<RegistryKeyCopy>> bad =
        registry.readKey(PredefinedKey::LocalMachine, "SOFTWARE\\bad", 1 << 20);
    QVERIFY(bad && bad->size() == 1);
    const RegistryKeyCopy &copy = bad->first();
    QCOMPARE(copy.store, QString("Windows/System32/config/SOFTWARE"));
    QCOMPARE(copy.tree.name, QString("Bad"));
    QCOMPARE(copy.tree.values.size(), 1);
    QCOMPARE(copy.tree.values[0].data, registryText("top"));
    QCOMPARE(copy.tree.subkeys.size(), 1);
    const RegistryKeyTree &run = copy.tree.subkeys[0];
    QCOMPARE(run.name, QString("Run"));
    QCOMPARE(run.values.size(), 3);
    QCOMPARE(valueNamed(run, "Count")->type, qint32(RegistryType::Number));
    QCOMPARE(valueNamed(run, "Count")->data, QByteArray("\x07\x00\x00\x00", 4));
    QCOMPARE(valueNamed(run, "Blob")->data, QByteArray("\x00\x01\xff", 3));
    QCOMPARE(valueNamed(run, "")->data, registryText("default value"));
    QCOMPARE(run.subkeys[0].subkeys[0].name, QString("Deepest"));

    // A budget too small for the values is no copy at all; an absent key is
    // no copy.
    QVERIFY(!registry.readKey(PredefinedKey::LocalMachine, "SOFTWARE\\Bad", 100));
    QCOMPARE(registry.readKey(PredefinedKey::LocalMachine, "SOFTWARE\\Missing", 1 << 20),
             std::optional<QList<RegistryKeyCopy>>(QList<RegistryKeyCopy>()));

    const std::optional<QList<RegistryValueCopy>> ids =
        registry.readValue(PredefinedKey::CurrentUser, "Software\\Tracker", "id");
    QVERIFY(ids && ids->size() == 2);
    QStringList stores = {(*ids)[0].store, (*ids)[1].store};
    stores.sort();
    QCOMPARE(stores, QStringList({"Users/alice/NTUSER.DAT", "Users/bob/NTUSER.DAT"}));
    QCOMPARE((*ids)[0].value.name, QString("Id"));
    QVERIFY(registry.readValue(PredefinedKey::CurrentUser, "Software\\Tracker", "Nope")->isEmpty());
}

void QuarantineItemsTest::registryItemText()
{
    QuarantinedRegistry key;
    key.rootName = "HKEY_LOCAL_MACHINE";
    key.keyPath = "SOFTWARE\\Bad\tTab";
    RegistryKeyCopy a{
        "Windows/System32/config/SOFTWARE",
        {"Bad\tTab",
         {{"", 1, registryText("x")}, {"%odd\r\n", 3, QByteArray(300, '\0')}},
         {{"One", {}, {{"Two", {{"v", 4, "\x01\x02\x03\x04"}}, {}}}}, {"Sibling", {}, {}}}}};
    RegistryKeyCopy b{"Users/bob/NTUSER.DAT", {"Bad", {}, {}}};
    key.keys = {a, b};
    const QByteArray text = encodeQuarantinedRegistry(key);
    QVERIFY(
        text.startsWith("TORVAKINE-REGISTRY 1\r\nrow\tHKEY_LOCAL_MACHINE\tSOFTWARE\\Bad%09Tab\t\r\n"
                        "copy\tWindows/System32/config/SOFTWARE\r\nkey\t0\tBad%09Tab\r\n"));
    QVERIFY(text.contains("key\t2\tTwo\r\nvalue\tv\t4\t01020304\r\nkey\t1\tSibling\r\n"));
    QCOMPARE(decodeQuarantinedRegistry(text), std::optional<QuarantinedRegistry>(key));

    QuarantinedRegistry value;
    value.rootName = "HKEY_CURRENT_USER";
    value.keyPath = "Software\\Tracker\\";
    value.valueName = "Id";
    value.values = {{"Users/alice/NTUSER.DAT", {"id", 1, registryText("a")}},
                    {"Users/bob/NTUSER.DAT", {"Id", 1, registryText("b")}}};
    QCOMPARE(decodeQuarantinedRegistry(encodeQuarantinedRegistry(value)),
             std::optional<QuarantinedRegistry>(value));
}

void QuarantineItemsTest::registryItemTextRefusesDamage_data()
{
    QTest::addColumn<QByteArray>("text");
    const QByteArray head = "TORVAKINE-REGISTRY 1\r\nrow\tHKEY_LOCAL_MACHINE\tSOFTWARE\\Bad\t\r\n";
    const QByteArray valueHead = "TORVAKINE-REGISTRY 1\r\nrow\tHKEY_LOCAL_MACHINE\tK\\\tV\r\n";
    QTest::newRow("no header") << QByteArray("row\tA\tB\t\r\n");
    QTest::newRow("LF only") << QByteArray(head).replace("\r\n", "\n");
    QTest::newRow("no row") << QByteArray("TORVAKINE-REGISTRY 1\r\n");
    QTest::newRow("key before copy") << head + "key\t0\tBad\r\n";
    QTest::newRow("depth skips") << head + "copy\t\r\nkey\t0\tBad\r\nkey\t2\tX\r\n";
    QTest::newRow("second top key") << head + "copy\t\r\nkey\t0\tBad\r\nkey\t0\tX\r\n";
    QTest::newRow("value before key") << head + "copy\t\r\nvalue\tv\t1\t00\r\n";
    QTest::newRow("copy without key") << head + "copy\t\r\n";
    QTest::newRow("odd hex") << head + "copy\t\r\nkey\t0\tBad\r\nvalue\tv\t1\t0\r\n";
    QTest::newRow("not hex") << head + "copy\t\r\nkey\t0\tBad\r\nvalue\tv\t1\tzz\r\n";
    QTest::newRow("type not a number") << head + "copy\t\r\nkey\t0\tBad\r\nvalue\tv\tsz\t00\r\n";
    QTest::newRow("key in a value row") << valueHead + "copy\t\r\nkey\t0\tK\r\n";
    QTest::newRow("two values") << valueHead + "copy\t\r\nvalue\tV\t1\t00\r\nvalue\tV\t1\t00\r\n";
    QTest::newRow("another value") << valueHead + "copy\t\r\nvalue\tW\t1\t00\r\n";
    QTest::newRow("copy without value") << valueHead + "copy\t\r\ncopy\t\r\nvalue\tV\t1\t00\r\n";
    QTest::newRow("unknown line") << head + "copy\t\r\nkey\t0\tBad\r\nlink\tx\r\n";
    QTest::newRow("bad escape") << head + "copy\t%zz\r\nkey\t0\tBad\r\n";
    QTest::newRow("too deep") << head + "copy\t\r\nkey\t0\tBad\r\nkey\t513\tX\r\n";
}

void QuarantineItemsTest::registryItemTextRefusesDamage()
{
    QFETCH(QByteArray, text);
    QVERIFY(!decodeQuarantinedRegistry(text));
}

void QuarantineItemsTest::cookieRowsHandedOverWholeAndInsertedAgain()
{
    QTemporaryDir dir;
    for (const CookieStoreLayout layout :
         {CookieStoreLayout::Firefox2020, CookieStoreLayout::Chromium2024}) {
        const bool firefox = isFirefoxLayout(layout);
        const CookieStoreKind kind = firefox ? CookieStoreKind::Firefox : CookieStoreKind::Chromium;
        const QByteArray table = firefox ? "moz_cookies" : "cookies";
        const QString name = firefox ? "cookies.sqlite" : "Cookies";
        const QString folder = dir.path() + "/" + name + ".d";
        QDir().mkpath(folder);
        const QString path = folder + "/" + name;
        QList<TestCookie> cookies = {
            {".tracker.test", "/", "id", "one", false, 4000000000, {}, {}},
            {".tracker.test", "/", "id", "two", true, 4000000000, "partition", "\x01\x02"},
            {"plain.example", "/", "keep", "v", false, 4000000000, {}, {}},
        };
        QVERIFY(writeCookieStore(path, layout, cookies));
        const QList<QByteArray> before = cookieStoreLines(path, kind);
        QCOMPARE(before.size(), 3);
        const QByteArray tracked = before[0];
        const UniqueFd fd = openFolder(folder);

        // A keeper that refuses: nothing goes.
        QList<QList<CookieStoreRowCopy>> handed;
        CookieStoreRemovalResult refused = removeCookieStoreLines(
            fd.get(), QFile::encodeName(name), kind, identityOf(path), {tracked}, QString(),
            [&handed](const QList<QList<CookieStoreRowCopy>> &rows) {
                handed = rows;
                return false;
            });
        QCOMPARE(refused.failure, CookieStoreRemovalFailure::NotKept);
        QCOMPARE(refused.lines, QList<CookieLineRemoval>{CookieLineRemoval::Failed});
        QCOMPARE(cookieStoreLines(path, kind), before);

        // One line stands for the two rows of its host, path and name: both
        // are handed over, whole, and go.
        QVERIFY(handed.size() == 1 && handed[0].size() == 2);
        const CookieStoreRowCopy &first = handed[0][0];
        QCOMPARE(first.table, table);
        QVERIFY(first.cells.size() >= 10);
        for (const CookieStoreRowCopy &row : handed[0]) {
            for (const CookieStoreCell &cell : row.cells)
                QVERIFY(!cell.column.isEmpty());
        }
        handed.clear();
        const CookieStoreRemovalResult removed = removeCookieStoreLines(
            fd.get(), QFile::encodeName(name), kind, identityOf(path), {tracked}, QString(),
            [&handed](const QList<QList<CookieStoreRowCopy>> &rows) {
                handed = rows;
                return true;
            });
        QCOMPARE(removed.failure, CookieStoreRemovalFailure::None);
        QCOMPARE(removed.lines, QList<CookieLineRemoval>{CookieLineRemoval::Removed});
        QCOMPARE(queryStore(path, "SELECT count(*) FROM " + table), QStringList{"1"});

        // Each row goes back as it was.
        for (const CookieStoreRowCopy &row : handed[0]) {
            const CookieStoreInsertionResult inserted = insertCookieStoreRow(
                fd.get(), QFile::encodeName(name), kind, identityOf(path), row);
            QCOMPARE(inserted.outcome, CookieStoreInsertion::Inserted);
        }
        QList<QByteArray> after = cookieStoreLines(path, kind);
        QList<QByteArray> expected = before;
        std::sort(after.begin(), after.end());
        std::sort(expected.begin(), expected.end());
        QCOMPARE(after, expected);
        // A row whose host, path and name the store holds again is not put
        // in twice.
        const CookieStoreInsertionResult again = insertCookieStoreRow(
            fd.get(), QFile::encodeName(name), kind, identityOf(path), handed[0][0]);
        QCOMPARE(again.outcome, CookieStoreInsertion::Exists);
        QCOMPARE(queryStore(path, "SELECT count(*) FROM " + table), QStringList{"3"});

        // A store that is not the file named any more is left alone.
        CookieStoreRowCopy other = handed[0][0];
        const CookieStoreInsertionResult stale = insertCookieStoreRow(
            fd.get(), QFile::encodeName(name), kind, CookieStoreIdentity{1, 2}, other);
        QCOMPARE(stale.outcome, CookieStoreInsertion::Failed);
        QCOMPARE(stale.failure, CookieStoreRemovalFailure::Changed);
    }
}

void QuarantineItemsTest::cookieRowItemText()
{
    QuarantinedCookieRow item;
    item.kind = CookieStoreKind::Chromium;
    item.row.table = "cookies";
    const auto cell = [](const QByteArray &column, CookieStoreCell::Type type) {
        CookieStoreCell c;
        c.column = column;
        c.type = type;
        return c;
    };
    CookieStoreCell host = cell("host_key", CookieStoreCell::Type::Text);
    host.bytes = ".tracker.test\t%\r\n";
    CookieStoreCell expiry = cell("expires_utc", CookieStoreCell::Type::Integer);
    expiry.integer = -13300000000000000;
    CookieStoreCell value = cell("encrypted_value", CookieStoreCell::Type::Blob);
    value.bytes = QByteArray("\x00\xff\x10", 3);
    CookieStoreCell real = cell("weight", CookieStoreCell::Type::Real);
    real.real = 0.1;
    item.row.cells = {host, expiry, value, real, cell("source_port", CookieStoreCell::Type::Null)};
    const QByteArray text = encodeQuarantinedCookieRow(item);
    QVERIFY(text.contains("cell\thost_key\ttext\t.tracker.test%09%25%0D%0A\r\n"));
    QVERIFY(text.contains("cell\tweight\treal\t3fb999999999999a\r\n"));
    QVERIFY(text.contains("cell\tsource_port\tnull\t-\r\n"));
    QCOMPARE(decodeQuarantinedCookieRow(text), std::optional<QuarantinedCookieRow>(item));
    for (const QByteArray &damaged : {QByteArray(text).replace("chromium", "opera"),
                                      QByteArray(text).replace("\tnull\t-", "\tnull\t0"),
                                      QByteArray(text).replace("\treal\t3fb9", "\treal\t3fb"),
                                      QByteArray(text).replace("00ff10", "00ff1"),
                                      QByteArray(text).replace("\r\n", "\n"), text.chopped(2)})
        QVERIFY(!decodeQuarantinedCookieRow(damaged));
}

QTEST_GUILESS_MAIN(QuarantineItemsTest)
#include "tst_quarantine_items.moc"
