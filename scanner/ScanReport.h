#pragma once

#include <QFile>
#include <QString>

// The scan report of the current scan run: open from the header to the end
// of the run.  Lines are written in the local 8-bit encoding and end with
// CR LF.  Writing to a report that failed to open does nothing.
class ScanReport
{
public:
    bool open(const QString &path);
    bool isOpen() const { return m_file.isOpen(); }
    void writeLine(const QString &line);
    void close();
    QString path() const { return m_file.fileName(); }

private:
    QFile m_file;
};

// Appends lines to a closed report file (the removal's failure records).
bool appendReportLines(const QString &path, const QStringList &lines);

// The 27-hyphen line that ends every record.
QString reportRecordSeparator();
