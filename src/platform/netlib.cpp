// Stand-in for the host maker's network-file library.
//
// A network file name here is a URL: a scheme of two or more characters (a
// letter, then letters, digits, "+", "-" or "."), followed by "://", as in
// "http://server/a.fm" or "file:///tmp/a.fm". The two-character minimum keeps
// a drive path written with forward slashes ("C://dir") local.
#include "platform/netlib.h"

#include <ctype.h>

int32_t NetLibIsNetFile(const char* name) {
  if (name == nullptr || !isalpha(static_cast<unsigned char>(name[0]))) {
    return 1;
  }
  const char* p = name + 1;
  while (isalnum(static_cast<unsigned char>(*p)) || *p == '+' || *p == '-' || *p == '.') {
    ++p;
  }
  const bool longEnough = p - name >= 2;
  const bool separator = p[0] == ':' && p[1] == '/' && p[2] == '/';
  return (longEnough && separator) ? 0 : 1;
}
