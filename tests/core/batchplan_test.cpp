#include "core/batchplan.h"

#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

using namespace velmora;

TEST(BatchPlan, PagesOfEachBatch)
{
    using Pages = std::vector<std::pair<long long, long long>>;
    struct Row
    {
        int first;
        int last;
        Pages batches;
    };
    const Row rows[] = {
        {1, 4, {{1, 4}}},
        {1, 61, {{1, 61}}},
        {1, 62, {{1, 2}, {3, 62}}},
        {1, 121, {{1, 1}, {2, 61}, {62, 121}}},
        {1, 150, {{1, 30}, {31, 90}, {91, 150}}},
        {7, 7, {{7, 7}}},
        {5, 4, {{5, 4}}}, // empty: the scheduler stops before planning
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(std::to_string(row.first) + ".." + std::to_string(row.last));
        Pages batches;
        for (int k = 0;; ++k) {
            batches.emplace_back(BatchPlan::firstPage(row.first, row.last, k),
                                 BatchPlan::lastPage(row.first, row.last, k));
            if (BatchPlan::isLast(row.first, row.last, k) || k > 10)
                break;
        }
        EXPECT_EQ(batches, row.batches);
    }
}
