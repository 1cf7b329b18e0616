#include "removal/QuarantineRecord.h"

namespace {

struct KindName {
    QuarantineRecord::Kind kind;
    const char *name;
};

constexpr KindName kKindNames[] = {
    {QuarantineRecord::Kind::File, "file"},
    {QuarantineRecord::Kind::Link, "link"},
    {QuarantineRecord::Kind::CookieLine, "cookie-line"},
    {QuarantineRecord::Kind::CookieRow, "cookie-row"},
    {QuarantineRecord::Kind::RegistryValue, "registry-value"},
    {QuarantineRecord::Kind::RegistryKey, "registry-key"},
};

} // namespace

QByteArray quarantineKindName(QuarantineRecord::Kind kind)
{
    for (const KindName &k : kKindNames) {
        if (k.kind == kind)
            return k.name;
    }
    return {};
}

std::optional<QuarantineRecord::Kind> quarantineKindOfName(const QByteArray &name)
{
    for (const KindName &k : kKindNames) {
        if (name == k.name)
            return k.kind;
    }
    return std::nullopt;
}
