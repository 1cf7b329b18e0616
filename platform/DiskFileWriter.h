#pragma once

#include "platform/FileWriter.h"

// Writes through TextFiles::writeAtomically to the real file system.
class DiskFileWriter final : public FileWriter
{
public:
    bool replaceFile(const QString &path, const QByteArray &bytes) override;
};
