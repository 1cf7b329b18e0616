#include "cli/QuarantineCommand.h"

#include "cli/CliOutput.h"
#include "cli/CliSession.h"
#include "cli/JsonLines.h"
#include "removal/QuarantineRestore.h"
#include "removal/QuarantineStore.h"

const char *const kQuarantineHelp =
    "usage: torvakine-cli quarantine list [--app-folder DIR] [--format text|json]\n"
    "       torvakine-cli quarantine restore [--app-folder DIR] ID...|--all\n"
    "       torvakine-cli quarantine purge [--app-folder DIR] ID...|--all|--older-than DAYS\n"
    "\n"
    "The quarantine (the folder Quarantine in the data folder) keeps what a removal\n"
    "took away, so that it can be put back.\n"
    "\n"
    "list     prints one line per item: its id, a tab, the time it was removed (ISO\n"
    "         8601, UTC), a tab, the threat name, a tab, the object (escaped as the\n"
    "         scan prints it); with --format json, JSON Lines: one object per\n"
    "         item, then a summary\n"
    "restore  puts items back where they were: a file at its path with its content,\n"
    "         permissions, owner (as root) and time; a cookie line into its cookie\n"
    "         file; a cookie row into its store; a registry value or key into the\n"
    "         registry.  An item is not put back over something that is there now,\n"
    "         nor into a folder that is gone; it then stays in the quarantine.\n"
    "purge    deletes items for good\n"
    "\n"
    "Each item restored or purged is printed as its id, a tab and the object; each\n"
    "one that is not is named with the reason on standard error.\n"
    "\n"
    "Exit status: 0 done, 1 partly done, 2 error (nothing done).";

namespace {

constexpr const char *kCommand = "quarantine";

struct QuarantineArguments {
    CommonOptions common;
    QString action;
    QList<QByteArray> ids;
    bool all = false;
    std::optional<int> olderThanDays;
};

std::optional<QuarantineArguments> parse(const QStringList &args)
{
    QuarantineArguments a;
    for (qsizetype i = 0; i < args.size(); ++i) {
        const QString &arg = args[i];
        QString error;
        const CommonOptions::Read read = a.common.take(args, &i, &error);
        if (read == CommonOptions::Read::Invalid)
            return std::nullopt;
        if (read == CommonOptions::Read::Taken) {
            continue;
        } else if (arg == QLatin1String("--all")) {
            a.all = true;
        } else if (arg == QLatin1String("--older-than") && i + 1 < args.size()) {
            bool ok = false;
            const int days = args[++i].toInt(&ok);
            if (!ok || days < 0)
                return std::nullopt;
            a.olderThanDays = days;
        } else if (arg.startsWith(QLatin1String("--"))) {
            return std::nullopt;
        } else if (a.action.isEmpty()) {
            a.action = arg;
        } else {
            a.ids << arg.toLatin1();
        }
    }
    const int choices = int(!a.ids.isEmpty()) + int(a.all) + int(a.olderThanDays.has_value());
    // JSON Lines are for the list only.
    if (a.common.json() && a.action != QLatin1String("list"))
        return std::nullopt;
    const bool fits = (a.action == QLatin1String("list") && choices == 0) ||
                      (a.action == QLatin1String("restore") && choices == 1 && !a.olderThanDays) ||
                      (a.action == QLatin1String("purge") && choices == 1);
    if (!fits)
        return std::nullopt;
    return a;
}

// One item as listed.
struct ListedItem {
    QByteArray id;
    QDateTime time;
    QString threat;
    QString object;
};

void printItems(const QList<ListedItem> &items, bool json)
{
    if (json) {
        for (const ListedItem &item : items)
            JsonLines::print({{QStringLiteral("type"), QStringLiteral("item")},
                              {QStringLiteral("id"), QString::fromLatin1(item.id)},
                              {QStringLiteral("time"), item.time.toUTC().toString(Qt::ISODate)},
                              {QStringLiteral("threat"), item.threat},
                              {QStringLiteral("object"), item.object}});
        QJsonObject summary = JsonLines::summary(kCommand, QString(), 0);
        summary.insert(QStringLiteral("items"), items.size());
        JsonLines::print(summary);
        return;
    }
    for (const ListedItem &item : items) {
        CliOutput::out(QString::fromLatin1(item.id) + QLatin1Char('\t') +
                       item.time.toUTC().toString(Qt::ISODate) + QLatin1Char('\t') +
                       CliOutput::field(item.threat) + QLatin1Char('\t') +
                       CliOutput::field(item.object));
    }
}

// What became of one item asked for.
struct ItemOutcome {
    QByteArray id;
    QString object;
    bool done = false;
    QString reason;
};

int printOutcomes(const QList<ItemOutcome> &outcomes, const char *notDone)
{
    qsizetype done = 0;
    for (const ItemOutcome &o : outcomes) {
        if (o.done) {
            ++done;
            CliOutput::out(QString::fromLatin1(o.id) + QLatin1Char('\t') +
                           CliOutput::field(o.object));
        } else {
            CliOutput::err(QStringLiteral("torvakine-cli: %1 %2: %3")
                               .arg(QString::fromLatin1(o.id), QLatin1String(notDone), o.reason));
        }
    }
    return done == outcomes.size() ? 0 : (done > 0 ? 1 : 2);
}

QString restoreReason(const RestoreResult &r)
{
    switch (r.outcome) {
    case RestoreOutcome::Restored:
        return {};
    case RestoreOutcome::Exists:
        return QStringLiteral("something is already at its place");
    case RestoreOutcome::PlaceMissing:
        return QStringLiteral("its place is missing");
    case RestoreOutcome::Damaged:
        return QStringLiteral("the kept copy is damaged or missing");
    case RestoreOutcome::Failed:
        break;
    }
    return QStringLiteral("could not be put back");
}

QList<QByteArray> chosenIds(const QuarantineStore &store, const QuarantineArguments &a)
{
    if (a.olderThanDays)
        return quarantinedBefore(store, *a.olderThanDays);
    if (!a.all)
        return a.ids;
    QList<QByteArray> ids;
    for (const QuarantineRecord &r : store.records())
        ids << r.id;
    return ids;
}

} // namespace

int runQuarantineCommand(const QStringList &args)
{
    const std::optional<QuarantineArguments> a = parse(args);
    if (!a) {
        CliOutput::err(QString::fromLatin1(kQuarantineHelp));
        return 2;
    }
    const std::optional<CliSession> cli = CliSession::start(a->common, kCommand, false);
    if (!cli)
        return 2;
    QString error;
    const std::unique_ptr<QuarantineStore> store =
        QuarantineStore::open(cli->paths.DataFolder, false, &error);
    if (!store) {
        CliOutput::err(QStringLiteral("torvakine-cli: ") + error);
        return 2;
    }
    if (store->damagedLines() > 0)
        CliOutput::err(QStringLiteral("torvakine-cli: %1 damaged lines of the quarantine's "
                                      "manifest are passed over")
                           .arg(store->damagedLines()));
    if (a->action == QLatin1String("list")) {
        QList<ListedItem> items;
        for (const QuarantineRecord &r : store->records())
            items.append({r.id, r.time, r.threat, r.object});
        printItems(items, a->common.json());
        return 0;
    }
    const QList<QByteArray> ids = chosenIds(*store, *a);
    QList<ItemOutcome> outcomes;
    if (a->action == QLatin1String("restore")) {
        for (const RestoreResult &r : restoreQuarantined(*store, ids))
            outcomes.append(
                {r.id, r.object, r.outcome == RestoreOutcome::Restored,
                 restoreReason(r) + (r.detail.isEmpty()
                                         ? QString()
                                         : QStringLiteral(" (") + r.detail + QLatin1Char(')'))});
        return printOutcomes(outcomes, "not restored");
    }
    QList<QByteArray> known;
    for (const QByteArray &id : ids) {
        const QuarantineRecord *r = store->record(id);
        outcomes.append(
            {id, r ? r->object : QString(), r != nullptr, QStringLiteral("no such item")});
        if (r)
            known << id;
    }
    if (!store->remove(known)) {
        for (ItemOutcome &o : outcomes) {
            o.done = false;
            o.reason = QStringLiteral("the quarantine's manifest cannot be written");
        }
    }
    return printOutcomes(outcomes, "not purged");
}
