/*
 * Without libcups: no CUPS queues, and a CUPS: port refuses documents.
 */
#include "spool/spool_private.h"

namespace winport::spool {

std::vector<Printer> CupsQueues()
{
    return {};
}

DWORD CupsSubmit(const std::string &, const Job &, const std::string &, DocKind,
                 const std::vector<gdi::PageInfo> &, int)
{
    return ERROR_NOT_SUPPORTED;
}

} // namespace winport::spool
