// The fuzz targets' promises: a broken one is written to standard error and aborts the
// run, which the fuzzer (or the replay under CTest) reports with its input.
#pragma once

#include <stdio.h>
#include <stdlib.h>

inline void Require(bool holds, const char* promise) {
  if (holds) return;
  fprintf(stderr, "broken promise: %s\n", promise);
  abort();
}
