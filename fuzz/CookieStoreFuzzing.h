#pragma once

#include "platform/UniqueFd.h"
#include "scanner/CookieStoreKind.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>

// Helpers of the two cookie-store targets.  An input is one byte whose lowest
// bit picks the store's kind (0 Firefox cookies.sqlite, 1 Chromium Cookies)
// followed by the store file's bytes.

// A fuzzed store written into its own folder of the fuzz folder, with the
// folder and the file open as the walk holds them.
struct FuzzedStore {
    QString folderPath;
    QByteArray name;
    CookieStoreKind kind = CookieStoreKind::None;
    QByteArray content;
    UniqueFd folder;
    UniqueFd file;
};

// Makes the store folder; call once from LLVMFuzzerInitialize.
void prepareStoreFolder();

// Writes the input's store (the store folder emptied first) and opens it.
FuzzedStore writeFuzzedStore(const uint8_t *data, size_t size);

// The same store opened afresh, as it now is.
FuzzedStore reopenStore(const FuzzedStore &store);

// Reads the store and checks every line handed over: it ends with LF, holds
// at least the six tabs between its seven fields and is no longer than a
// cookie line may be.  The lines read, in order.
QList<QByteArray> readCheckedLines(const FuzzedStore &store);

// The names in the store folder.
QStringList storeFolderEntries();
