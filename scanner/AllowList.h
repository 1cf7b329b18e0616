#pragma once

#include "scanner/PathGlob.h"

#include <QByteArray>
#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

#include <optional>
#include <vector>

// One rule of the allow list (allow.dat): what the user says is theirs.
struct AllowRule {
    enum class Kind {
        Path,   // the walk neither enters nor reads a path that fits the glob
        Threat, // detections of the threat name are allowed (letter case ignored)
        Object, // detections of exactly this object text are allowed
        Sha256, // files of this content (SHA-256, lower-case hex) are allowed
    };
    Kind kind = Kind::Path;
    // The rule's text after its keyword, as written: a glob, a threat name, an
    // escaped object text (see AllowList::objectRuleText) or hexadecimal.
    QString value;

    // "path GLOB", "threat NAME", "object TEXT" or "sha256 HEX".
    QString text() const;
    // The rule written in line, or none with the reason in *error: an unknown
    // keyword, an empty value, a digest that is not 64 hexadecimal digits.
    static std::optional<AllowRule> parse(const QString &line, QString *error = nullptr);
};

// The rules one scan follows: those of allow.dat and those given for the run
// alone (the command-line tool's --exclude).
class AllowList
{
public:
    void add(const AllowRule &rule);
    const QList<AllowRule> &rules() const { return m_rules; }
    bool isEmpty() const { return m_rules.isEmpty(); }

    // True when a path rule fits path (the full path, without a separator
    // at its end).
    bool excludesPath(QStringView path) const;
    bool hasPathRules() const { return !m_globs.empty(); }
    bool hasSha256Rules() const { return !m_digests.isEmpty(); }

    // True when a threat, object or sha256 rule allows the detection.
    // objectBytes: the object text's bytes (UTF-8; a file name in the file
    // system's own bytes); sha256: the file's content digest (raw bytes),
    // for a detection of a whole file whose content was digested.
    bool allows(const QString &threat, const QByteArray &objectBytes,
                const std::optional<QByteArray> &sha256) const;

    // The text of an object rule for an object text's bytes: "\" written as
    // "\\", CR and LF as "\r" and "\n", every other control character and
    // every byte that is not valid UTF-8 as "\xHH", as the command-line tool
    // prints object texts; and back.  Reading back, a "\" that starts none of
    // these stands for itself.
    static QString objectRuleText(const QByteArray &objectBytes);
    static QByteArray objectBytesOfRule(const QString &ruleText);

private:
    QList<AllowRule> m_rules;
    std::vector<PathGlob> m_globs;
    QSet<QString> m_threats; // case-folded
    QSet<QByteArray> m_objects;
    QSet<QByteArray> m_digests; // raw bytes
};
