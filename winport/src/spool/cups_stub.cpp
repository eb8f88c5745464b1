/*
 * Without libcups: no CUPS queues, no CUPS default, and a CUPS: port
 * refuses documents.
 */
#include "spool/spool_private.h"

namespace winport::spool {

std::vector<Printer> CupsQueues()
{
    return {};
}

std::optional<Printer> CupsQueue(const std::string &)
{
    return std::nullopt;
}

std::string CupsDefaultQueue()
{
    return {};
}

DWORD CupsSubmit(const Printer &, const Job &, const std::string &, DocKind,
                 const std::vector<gdi::PageInfo> &, int)
{
    return ERROR_NOT_SUPPORTED;
}

DWORD CupsUnfinishedJobs(const Printer &)
{
    return 0;
}

} // namespace winport::spool
