// Points ICU at the converter data built with the tests (GW_TEST_ICU_DATA_DIR)
// unless the process has already chosen a data directory.
#ifndef GRIDWRIGHT_TESTS_SUPPORT_ICU_TEST_DATA_H
#define GRIDWRIGHT_TESTS_SUPPORT_ICU_TEST_DATA_H

#include <unicode/putil.h>

#include <string>

inline void UseTestIcuData() {
  const char* current = u_getDataDirectory();
  if (current == nullptr || current[0] == '\0') {
    u_setDataDirectory(GW_TEST_ICU_DATA_DIR);
  }
}

// A data directory as ICU keeps it: on Windows ICU turns forward slashes into
// backslashes when the directory is set.
inline std::string IcuDirectory(std::string path) {
#if defined(_WIN32)
  for (char& c : path) {
    if (c == '/') c = '\\';
  }
#endif
  return path;
}

#endif  // GRIDWRIGHT_TESTS_SUPPORT_ICU_TEST_DATA_H
