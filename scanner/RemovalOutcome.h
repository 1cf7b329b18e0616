#pragma once

#include <QtGlobal>

// What a removal made of one row of the result list.
enum class RemovalOutcome : quint8 {
    Removed,
    // The object is no longer the one the scan found (moved, replaced or
    // gone), or the row holds no record of where the scan found it.
    Changed,
    // The object could not be changed: read-only, no permission, in use, a
    // folder, a registry row naming no usable key, or a registry change that
    // could not be saved.
    Refused,
    // A browser holds the cookie store open; closing the browser lets a
    // later removal change it.
    BrowserLocked,
    // Not tried: the removal stops at a row without an object text.
    NotTried,
};
