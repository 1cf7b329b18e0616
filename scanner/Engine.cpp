#include "scanner/Engine.h"

Engine::Engine(DatabaseTables tables)
    : m_tables(std::move(tables)), m_nameIndex(m_tables), m_signatureSearch(m_tables),
      m_cookiePatterns(CookiePatterns::fromTables(m_tables))
{
}

EngineHandle makeEngine(DatabaseTables tables)
{
    return std::make_shared<const Engine>(std::move(tables));
}
