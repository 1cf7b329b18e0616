#include "scanner/NameCheck.h"

#include "scanner/CookieScan.h"
#include "scanner/Engine.h"
#include "scanner/ScanSession.h"

QString nameCheckPath(const QString &Root, const QString &FileName)
{
    QString full = Root.toLower() + FileName.toLower();
    full.replace(QLatin1Char('/'), QLatin1Char('\\'));
    return full;
}

bool isCookieFileName(const QString &FileName)
{
    return FileName.size() == 11 && FileName.toLower() == QLatin1String("cookies.txt");
}

NameVerdict checkFileName(const Engine &engine, const QString &Root, const QString &FileName,
                          NameCheckIndex::Lookup &lookup)
{
    NameVerdict verdict;
    if (FileName.isEmpty())
        return verdict;
    const NameCheckIndex &index = engine.nameIndex();
    const qint32 entry = index.firstMatch(nameCheckPath(Root, FileName), lookup);
    // Reading the table in order sets the threat name at every header it
    // passes: up to the matching entry, or through the whole table.
    const QString *name = entry != 0 ? index.threatNameAbove(entry) : index.lastThreatName();
    if (name)
        verdict.threatName = *name;
    verdict.matched = entry != 0;
    return verdict;
}

bool Checkfile(ScanSession &session, const QString &Root, const QString &FileName)
{
    try {
        if (isCookieFileName(FileName)) {
            ScanMozilla(session, Root, FileName);
            return false;
        }
        const NameVerdict verdict =
            checkFileName(session.engine(), Root, FileName, session.nameLookup());
        if (verdict.threatName)
            session.state().CurrentThreatName = *verdict.threatName;
        session.processEvents();
        return verdict.matched;
    } catch (...) {
        return false;
    }
}
