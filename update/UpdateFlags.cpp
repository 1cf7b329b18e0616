#include "update/UpdateFlags.h"

UpdateFlags &updateFlags()
{
    static UpdateFlags flags;
    return flags;
}

void resetUpdateFlags()
{
    updateFlags() = UpdateFlags{};
}
