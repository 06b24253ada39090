/* The strings of the library's version resource: the one place they are
 * written. The Windows resource script (gridwright.rc) and the stand-in
 * version resource (version_resource.cpp) both take them from here, so the
 * two builds describe the client to the host identically.
 *
 * This file is read by the resource compiler too: only #define lines outside
 * the RC_INVOKED guard. */
#ifndef GRIDWRIGHT_PLATFORM_VERSION_INFO_H
#define GRIDWRIGHT_PLATFORM_VERSION_INFO_H

/* File and product version, as four numbers and as text. */
#define GW_VERSION_NUMBERS 1, 0, 0, 0
#define GW_VERSION_TEXT "1.0.0.0"

/* Language and code page of the string block: US English, Unicode. */
#define GW_VERSION_BLOCK "040904b0"
#define GW_VERSION_LANGUAGE 0x409
#define GW_VERSION_CODE_PAGE 1200

/* The client description the host reads (the keys are the host's). */
#define GW_CLIENT_NAME "Gridwright"
#define GW_CLIENT_TYPE "Standard"
#define GW_FILE_DESCRIPTION "Gridwright (Frame 2017)"
#define GW_CLIENT_PRODUCTS "Maker MakerSGML"
#define GW_PRODUCT_NAME "Gridwright"
#define GW_ORIGINAL_FILE_NAME "gridwright.dll"

#ifndef RC_INVOKED
#include <stdint.h>

/* One string of the "\StringFileInfo\<block>\" table: key and value. */
typedef struct VersionString {
  const char* key;
  const char* value;
} VersionString;

/* The string table, in the order the resource script lists it. Keys the
 * client description may ask for but the library does not carry
 * (ClientFacet, ClientFormatId, ClientVendor, ClientSuffix, ClientInFormat,
 * ClientOutFormat) are absent on purpose. */
static const VersionString kVersionStrings[] = {
    {"ClientName", GW_CLIENT_NAME},
    {"ClientType", GW_CLIENT_TYPE},
    {"FileDescription", GW_FILE_DESCRIPTION},
    {"ClientProducts", GW_CLIENT_PRODUCTS},
    {"FileVersion", GW_VERSION_TEXT},
    {"ProductName", GW_PRODUCT_NAME},
    {"ProductVersion", GW_VERSION_TEXT},
    {"OriginalFilename", GW_ORIGINAL_FILE_NAME},
};
static const uint32_t kVersionStringCount = sizeof(kVersionStrings) / sizeof(kVersionStrings[0]);
#endif /* RC_INVOKED */

#endif /* GRIDWRIGHT_PLATFORM_VERSION_INFO_H */
