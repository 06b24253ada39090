// The command table and the set-up of the Tables submenus in the host's
// document and book menu bars.
#include "commands/menus.h"

#include "host/host_ops.h"
#include "host/property_codes.h"
#include "support/memory.h"
#include "support/strings.h"

namespace {

// The label a Tables submenu is sorted by among the items of its Tools menu.
constexpr const char* kTablesLabel = "Tables";

// In the menu layouts below, a negative entry -n stands for the host's
// separator "Separatorn"; every other entry is a command number.
constexpr int32_t kSeparator1 = -1;
constexpr int32_t kSeparator2 = -2;
constexpr int32_t kSeparator3 = -3;
constexpr int32_t kSeparator4 = -4;
constexpr int32_t kSeparator5 = -5;
constexpr int32_t kSeparator6 = -6;

const CommandEntry kCommandTable[] = {
    {kCommandFixTableHeadingsDoc, "FixTableHeadingsDoc", "Fix Table Headings", nullptr, FixTableHeadingsDoc,
     kTargetDocument},
    {kCommandConvertTablesInDoc, "ConvertTablesInDoc", "Convert Tables", "ConvertTablesDoc", ConvertTablesInDoc,
     kTargetDocument},
    {kCommandListTableUsage, "ListTableUsage", "List Table Usage", "ListTableUsage", ListTableUsage,
     kTargetDocument},
    {kCommandDeleteUnusedTables, "DeleteUnusedTables", "Delete Unused Table Tags", "DeleteUnusedTables",
     DeleteUnusedTables, kTargetDocument},
    {kCommandCreateTableList, "CreateTableList", "Create Table Tag List", "CreateTableList", CreateTableList,
     kTargetDocument},
    {kCommandRemoveNonlistTables, "RemoveNonlistTables", "Remove Non-list Table Tags", "RemoveNonlistTables",
     RemoveNonlistTables, kTargetDocument},
    {kCommandCreateTableConversionDocument, "CreateTableConversionDocument", "Create Conversion Document",
     "CreateConversionDocument", CreateTableConversionDocument, kTargetDocument},
    {kCommandRemoveTableOverrides, "RemoveTableOverrides", "Remove Overrides", "RemoveOverrides",
     RemoveTableOverrides, kTargetDocument},
    {kCommandFindNextTableOverride, "FindNextTableOverride", "Find Next Override", "FindNextOverride",
     FindNextTableOverride, kTargetDocument},
    // The tag reports end quietly on their own when no document is active.
    {kCommandGenerateTableTagReport, "GenerateTableTagReport", "All Tags", "GenerateTableTagReport",
     GenerateTableTagReport, kTargetNone},
    {kCommandListTableUsageBook, "ListTableUsageBook", "List Table Usage", "ListTableUsageBook",
     ListTableUsageBook, kTargetBook},
    {kCommandDeleteUnusedTablesBook, "DeleteUnusedTablesBook", "Delete Unused Table Tags",
     "DeleteUnusedTablesBook", DeleteUnusedTablesBook, kTargetBook},
    {kCommandCreateTableListBook, "CreateTableListBook", "Create Table Tag List", "CreateTableListBook",
     CreateTableListBook, kTargetBook},
    {kCommandRemoveNonlistTablesBook, "RemoveNonlistTablesBook", "Remove Non-list Table Tags",
     "RemoveNonlistTablesBook", RemoveNonlistTablesBook, kTargetBook},
    {kCommandCreateTableConversionDocumentBook, "CreateTableConversionDocumentBook", "Create Conversion Document",
     "CreateConversionDocumentBook", CreateTableConversionDocumentBook, kTargetBook},
    {kCommandConvertTablesBook, "ConvertTablesBook", "Convert Tables", "ConvertTablesBook", ConvertTablesBook,
     kTargetBook},
    {kCommandRemoveTableOverridesBook, "RemoveTableOverridesBook", "Remove Overrides", "RemoveOverridesBook",
     RemoveTableOverridesBook, kTargetBook},
    {kCommandGenerateTableTagReportSingle, "GenerateTableTagReportSingle", "Selected Tag...",
     "GenerateTableTagReportSingle", GenerateTableTagReportSingle, kTargetNone},
    {kCommandListTableUsageBookIndFiles, "ListTableUsageBookIndFiles", "List Table Usage - Individual",
     "ListTableUsageBookIndividual", ListTableUsageBookIndFiles, kTargetBook},
    {kCommandListTableUsageBookByFormat, "ListTableUsageBookByFormat", "List Table Usage - By Tag",
     "ListTableUsageBookByTag", ListTableUsageBookByFormat, kTargetBook},
    {kCommandGridwrightAbout, "GridwrightAbout", "About Gridwright...", "GridwrightAbout", GridwrightAbout,
     kTargetNone},
};
constexpr size_t kCommandCount = sizeof(kCommandTable) / sizeof(kCommandTable[0]);

// The Tables submenu of the document menu bar, top to bottom; the report
// submenu and About follow it (see SetUpMenus).
const int32_t kDocumentMenuLayout[] = {
    kCommandListTableUsage,       kCommandDeleteUnusedTables,      kSeparator1,
    kCommandCreateTableList,      kCommandRemoveNonlistTables,     kSeparator2,
    kCommandCreateTableConversionDocument, kCommandConvertTablesInDoc, kSeparator3,
    kCommandRemoveTableOverrides, kCommandFindNextTableOverride,   kSeparator4,
    kCommandFixTableHeadingsDoc,  kSeparator5,
};

// The Tables submenu of the book menu bar; About follows it.
const int32_t kBookMenuLayout[] = {
    kCommandListTableUsageBook,  kCommandListTableUsageBookIndFiles, kCommandListTableUsageBookByFormat,
    kCommandDeleteUnusedTablesBook, kSeparator1,
    kCommandCreateTableListBook, kCommandRemoveNonlistTablesBook,  kSeparator2,
    kCommandCreateTableConversionDocumentBook, kCommandConvertTablesBook, kSeparator3,
    kCommandRemoveTableOverridesBook, kSeparator4,
};

// Appends the host's separator "Separator<n>" to menu.
void AddSeparator(ObjectId menu, int32_t n) {
  char name[16];
  StrCopy(name, "Separator");
  StrAppendInt(name, n, sizeof name);
  ObjectId separator = HostGetNamedObject(0, kObjectTypeMenuItem, name);
  HostAddCommandToMenu(menu, separator);
}

// Defines the command numbered number and appends it to menu. Returns the
// host's command object (0 when the host refused or the number is unknown).
ObjectId DefineCommand(ObjectId menu, int32_t number) {
  const CommandEntry* entry = FindCommand(number);
  if (entry == nullptr) return 0;
  return HostDefineAndAddCommand(entry->number, menu, entry->name, entry->label, "");
}

// Defines the commands and separators of a layout in menu, in order.
void DefineLayout(ObjectId menu, const int32_t* layout, size_t count) {
  for (size_t i = 0; i < count; ++i) {
    if (layout[i] < 0) {
      AddSeparator(menu, -layout[i]);
    } else {
      DefineCommand(menu, layout[i]);
    }
  }
}

// Finds the Tools menu called name, or creates it with the label "Tools" on
// the menu bar menuBarName and adds it to the quick menu bar as well.
ObjectId FindOrCreateToolsMenu(const char* name, const char* menuBarName) {
  ObjectId tools = HostGetNamedObject(0, kObjectTypeMenu, name);
  if (tools != 0) return tools;
  ObjectId menuBar = HostGetNamedObject(0, kObjectTypeMenu, menuBarName);
  tools = HostDefineAndAddMenu(menuBar, name, "Tools");
  ObjectId quickMenuBar = HostGetNamedObject(0, kObjectTypeMenu, "!QuickMakerMainMenu");
  HostAddMenuToMenu(quickMenuBar, tools);
  return tools;
}

}  // namespace

const CommandEntry* FindCommand(int32_t number) {
  for (size_t i = 0; i < kCommandCount; ++i) {
    if (kCommandTable[i].number == number) return &kCommandTable[i];
  }
  return nullptr;
}

const CommandEntry* FindClientCall(const char* text) {
  if (text == nullptr) return nullptr;
  for (size_t i = 0; i < kCommandCount; ++i) {
    const char* name = kCommandTable[i].clientCallName;
    if (name != nullptr && StrEqual(text, name)) return &kCommandTable[i];
  }
  return nullptr;
}

void PlaceTablesSubmenu(ObjectId toolsMenu, ObjectId submenu) {
  ObjectId item = HostGetIdProp(0, toolsMenu, kPropFirstMenuItem);
  while (item != 0) {
    char* label = HostGetStringProp(0, item, kPropMenuItemLabel);
    int order = StrCompareNoCase(label, kTablesLabel);
    MemFree(label);
    if (order >= 0) {
      // When the walk reaches the submenu itself, the host is asked to put it
      // in front of itself, which leaves it where it already stands.
      HostSetIdProp(toolsMenu, submenu, kPropNextMenuItem, item);
      return;
    }
    item = HostGetIdProp(0, item, kPropNextMenuItem);
  }
}

void SetUpMenus(void) {
  // The document menu bar.
  ObjectId tools = FindOrCreateToolsMenu("KVTools", "!MakerMainMenu");
  ObjectId tables = HostDefineMenu("Gridwright", "Tables");
  DefineLayout(tables, kDocumentMenuLayout, sizeof kDocumentMenuLayout / sizeof kDocumentMenuLayout[0]);
  ObjectId report = HostDefineMenu("TableTagReport", "Generate Table Tag Report");
  DefineCommand(report, kCommandGenerateTableTagReport);
  DefineCommand(report, kCommandGenerateTableTagReportSingle);
  HostAddMenuToMenu(tables, report);
  AddSeparator(tables, -kSeparator6);
  ObjectId about = DefineCommand(tables, kCommandGridwrightAbout);
  HostAddMenuToMenu(tools, tables);
  PlaceTablesSubmenu(tools, tables);

  // The book menu bar; About is the same command object, added a second time.
  ObjectId bookTools = FindOrCreateToolsMenu("KVToolsBook", "!BookMainMenu");
  ObjectId bookTables = HostDefineMenu("GridwrightBook", "Tables");
  DefineLayout(bookTables, kBookMenuLayout, sizeof kBookMenuLayout / sizeof kBookMenuLayout[0]);
  HostAddCommandToMenu(bookTables, about);
  HostAddMenuToMenu(bookTools, bookTables);
  PlaceTablesSubmenu(bookTools, bookTables);
}
