#include "removal/RegistryRowRemoval.h"

RegistryRowRemoval::RegistryRowRemoval() = default;
RegistryRowRemoval::~RegistryRowRemoval() = default;

bool RegistryRowRemoval::removeRow(const QString &)
{
    return false;
}

QStringList RegistryRowRemoval::finish()
{
    return {};
}
