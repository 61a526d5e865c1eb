// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The exit status CTest takes as "skipped" (SKIP_RETURN_CODE in the CMake files).
constexpr int kSkippedExitCode = 77;

// Runs every GoogleTest case. A run in which nothing failed but some case skipped itself
// prints the skipped cases with their reasons and returns kSkippedExitCode, so that CTest
// reports the program as skipped instead of passed.
int runAllTestsReportingSkips();
