#pragma once

#include <cstddef>
#include <functional>

namespace xls::draw {

// How many helper threads `pieces` pieces of work are worth, besides the calling thread:
// `threads` threads in all (0: one a core, at most four), no more than Qt's shared pool has, and
// none for fewer than four pieces each.
int helpersFor(int pieces, int threads);

// Runs work(who) on the calling thread (who 0) and on `helpers` threads of Qt's shared pool
// (who 1..helpers), returns when all are done and rethrows the first failure. A helper the pool
// has not started by the time the calling thread is done is taken back unrun, so `work` must
// share its pieces out as it goes (each caller takes the next piece left) rather than by `who`.
void shareOut(int helpers, const std::function<void(size_t who)>& work);

}  // namespace xls::draw
