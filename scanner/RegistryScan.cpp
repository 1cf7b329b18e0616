#include "scanner/RegistryScan.h"

void ScanRegistry() {}
