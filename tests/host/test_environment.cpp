// Points ICU at the build's converter data before any test runs, as the
// substitute host does before it loads the plug-in; start-up then leaves the
// directory alone.
#include <unicode/putil.h>

namespace {

struct IcuDataDirectory {
  IcuDataDirectory() { u_setDataDirectory(GW_TEST_ICU_DATA_DIR); }
};
const IcuDataDirectory kIcuDataDirectory;

}  // namespace
