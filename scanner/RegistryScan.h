#pragma once

class ScanSession;

// Tests every entry of the registry database against the registry of the
// installation at the session's ScanRoot and records the ones present.
void ScanRegistry(ScanSession &session);
