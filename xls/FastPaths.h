#pragma once

namespace xls {

// The engine's fast paths, memos and caches. Each is a branch off one general path that gives
// the same answer, marked where it branches off with the reason the answer is the same, and
// taken only when kFastPaths is true. A build with XLS_PLAIN_PATHS defined leaves every such
// branch out and runs the general path alone; the tests require byte-identical files from both
// builds.
#ifdef XLS_PLAIN_PATHS
inline constexpr bool kFastPaths = false;
#else
inline constexpr bool kFastPaths = true;
#endif

}  // namespace xls
