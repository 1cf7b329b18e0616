#pragma once

#include <QString>

// Records one detection: counts it, adds its row to the result list and
// writes its three-line record to the open report.
void RecordDetection(const QString &name, const QString &object);
