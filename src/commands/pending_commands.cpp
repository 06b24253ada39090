// Temporary stand-ins, doing nothing, for the command bodies whose units are
// still being written, so that the plug-in links meanwhile. Each is weak: the
// real body, once its unit exists, takes its place. This file goes when every
// unit is in.
#include "commands/commands.h"

#define GW_PENDING_COMMAND(Name) \
  __attribute__((weak)) void Name(ObjectId /*document*/, ObjectId /*book*/) {}

GW_PENDING_COMMAND(ListTableUsage)
GW_PENDING_COMMAND(ListTableUsageBook)
GW_PENDING_COMMAND(ListTableUsageBookIndFiles)
GW_PENDING_COMMAND(ListTableUsageBookByFormat)
GW_PENDING_COMMAND(DeleteUnusedTables)
GW_PENDING_COMMAND(DeleteUnusedTablesBook)
GW_PENDING_COMMAND(CreateTableList)
GW_PENDING_COMMAND(CreateTableListBook)
GW_PENDING_COMMAND(CreateTableConversionDocument)
GW_PENDING_COMMAND(CreateTableConversionDocumentBook)
GW_PENDING_COMMAND(RemoveNonlistTables)
GW_PENDING_COMMAND(RemoveNonlistTablesBook)
GW_PENDING_COMMAND(ConvertTablesInDoc)
GW_PENDING_COMMAND(ConvertTablesBook)
GW_PENDING_COMMAND(RemoveTableOverrides)
GW_PENDING_COMMAND(RemoveTableOverridesBook)
GW_PENDING_COMMAND(FindNextTableOverride)
GW_PENDING_COMMAND(GenerateTableTagReport)
GW_PENDING_COMMAND(GenerateTableTagReportSingle)
