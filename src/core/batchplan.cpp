#include "core/batchplan.h"

namespace velmora::BatchPlan {

long long lastPage(long long first, long long last, int batch)
{
    const long long span = last - first;
    if (span <= PagesPerBatch)
        return last;
    return span % PagesPerBatch + static_cast<long long>(PagesPerBatch) * batch + first;
}

long long firstPage(long long first, long long last, int batch)
{
    if (batch == 0)
        return first;
    return lastPage(first, last, batch) - (PagesPerBatch - 1);
}

bool isLast(long long first, long long last, int batch)
{
    const long long span = last - first;
    return span <= PagesPerBatch || lastPage(first, last, batch) >= last;
}

} // namespace velmora::BatchPlan
