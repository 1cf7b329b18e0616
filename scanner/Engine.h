#pragma once

#include "databases/DatabaseTables.h"
#include "scanner/CookiePatterns.h"
#include "scanner/NameCheckIndex.h"
#include "scanner/SignatureSearch.h"

#include <memory>

// The loaded threat databases and what the checks compile from them: the
// name index of the spyware patterns, the signature search and the
// tracking-cookie patterns.  Built once per load and never changed
// afterwards, so any number of scans and worker threads read one engine at
// the same time.  A reload builds a new engine and the window swaps it whole;
// a scan holds the engine it started with to its end.
class Engine
{
public:
    // Takes tables prepared for scanning (see prepareLoadedTables).
    explicit Engine(DatabaseTables tables);

    const DatabaseTables &tables() const { return m_tables; }
    const NameCheckIndex &nameIndex() const { return m_nameIndex; }
    const SignatureSearch &signatureSearch() const { return m_signatureSearch; }
    const CookiePatterns &cookiePatterns() const { return m_cookiePatterns; }

private:
    DatabaseTables m_tables;
    NameCheckIndex m_nameIndex;
    SignatureSearch m_signatureSearch;
    CookiePatterns m_cookiePatterns;
};

using EngineHandle = std::shared_ptr<const Engine>;

// An engine of the tables, shared.
EngineHandle makeEngine(DatabaseTables tables);
