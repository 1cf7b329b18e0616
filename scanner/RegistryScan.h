#pragma once

// Tests every entry of the registry database against the registry of the
// scanned installation and records the ones present.
void ScanRegistry();
