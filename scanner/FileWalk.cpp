#include "scanner/FileWalk.h"

void ScanFolder(const QString &) {}
