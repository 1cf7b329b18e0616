#pragma once

#include "scanner/AllowList.h"

#include <QByteArray>
#include <QList>
#include <QString>

// The file of allow-list rules, allow.dat in the data folder: UTF-8 text, one
// rule a line ("path GLOB", "threat NAME", "object TEXT", "sha256 HEX": the
// keyword, one space or tab, the value up to the end of the line), lines
// that begin with "#" (after spaces) are comments, blank lines are passed
// over.  Lines are kept as they are, comments and lines that are no rule
// included, so that adding or removing a rule changes nothing else.
class AllowListFile
{
public:
    // The file's name in the data folder.
    static QString fileName();

    // Reads the file at path; a missing file is an empty list.  False when
    // the file exists but cannot be read, or is larger than kMaxBytes.
    bool read(const QString &path);
    // Writes the lines to path in one step (CR LF line ends): path holds
    // either the old or the whole new list.
    bool write(const QString &path) const;

    // The rules, numbered from 1 in the order they stand; lines that are no
    // rule are left out.
    QList<AllowRule> rules() const;
    // "line N: why" for every line that is neither a rule, a comment nor
    // blank.
    QStringList problems() const;
    // The rules as the scan follows them.
    AllowList allowList() const;

    void add(const AllowRule &rule);
    // Removes rule number n (counted from 1 as rules() numbers them); false
    // when there is none.
    bool remove(qsizetype n);

    static constexpr qint64 kMaxBytes = 16 << 20;

private:
    // The rule of a line; none for a comment, a blank line or a line that is
    // no rule (with why in *error for the last).
    static std::optional<AllowRule> ruleOfLine(const QString &line, QString *error);

    QStringList m_lines;
};

// The allow list a scan follows: the rules of allow.dat at path (none when it
// cannot be read) followed by a "path" rule for each of extraExclusions.
AllowList readAllowList(const QString &path, const QStringList &extraExclusions = {});
