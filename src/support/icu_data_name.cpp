// Prints the name of ICU's data package (for example "icudt72l"), the folder
// under the data directory where ICU looks for converter files. Run once when
// the build is configured.
#include <stdio.h>
#include <unicode/utypes.h>

int main() {
  fputs(U_ICUDATA_NAME, stdout);
  return 0;
}
