// Points ICU at the converter data built with the tests (GW_TEST_ICU_DATA_DIR)
// unless the process has already chosen a data directory.
#ifndef GRIDWRIGHT_TESTS_SUPPORT_ICU_TEST_DATA_H
#define GRIDWRIGHT_TESTS_SUPPORT_ICU_TEST_DATA_H

#include <unicode/putil.h>

inline void UseTestIcuData() {
  const char* current = u_getDataDirectory();
  if (current == nullptr || current[0] == '\0') {
    u_setDataDirectory(GW_TEST_ICU_DATA_DIR);
  }
}

#endif  // GRIDWRIGHT_TESTS_SUPPORT_ICU_TEST_DATA_H
