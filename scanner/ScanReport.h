#pragma once

#include <QFile>
#include <QString>
#include <QStringList>

// The scan report of a scan run: created anew for the run and open from the
// header to the end of the run; the removal appends its failure records to
// it later.  Lines are written in the local 8-bit encoding and end with
// CR LF; a control character inside a line is written as a visible escape
// (VisibleText, tabs kept), so one line of text is always one line of the
// file.  Every failure to create or write the report is remembered: the
// window and the command-line tool report it.  A write that fails ends the
// writing of the run; what was written before stays.
class ScanReport
{
public:
    // Creates the file baseName + ".txt" in folder, never replacing or
    // following anything that is there: when the name is taken, " (2)",
    // " (3)"... is added to it.  Returns the base name taken; empty when no
    // report could be created.
    QString create(const QString &folder, const QString &baseName);
    bool isOpen() const { return m_file.isOpen(); }
    void writeLine(const QString &line);
    void close();

    // Appends lines to the closed report file at path (the session's report).
    void appendLines(const QString &path, const QStringList &lines);

    // True once creating, writing, closing or appending to the report failed.
    bool writeFailed() const { return m_writeFailed; }
    // The report file that could not be written.
    QString failedPath() const { return m_failedPath; }

private:
    void fail(const QString &path);

    QFile m_file;
    bool m_writeFailed = false;
    QString m_failedPath;
};

// The 27-hyphen line that ends every record.
QString reportRecordSeparator();
