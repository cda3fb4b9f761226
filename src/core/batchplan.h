#pragma once

namespace velmora {

// How a download range S..L is split into batches of pages. A range of up to 61 pages
// is one batch; a longer one starts with the remainder ((L - S) mod 60 + 1 pages) and
// goes on in batches of exactly 60 pages.
namespace BatchPlan {

inline constexpr int PagesPerBatch = 60;

// Last page of batch `batch` (0 for the first). Batches after the first end at
// (L - S) mod 60 + 60 * batch + S and start 59 pages before that.
long long lastPage(long long first, long long last, int batch);

// First page of batch `batch`.
long long firstPage(long long first, long long last, int batch);

// Whether batch `batch` is the last one of the range.
bool isLast(long long first, long long last, int batch);

} // namespace BatchPlan
} // namespace velmora
