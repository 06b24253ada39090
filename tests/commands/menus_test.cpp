// Menu set-up on Initialize: the whole menu tree, the request for client
// calls, and the placement of the Tables submenus among the items of Tools
// menus that other plug-ins made first.
#include <algorithm>
#include <string>
#include <vector>

#include "plugin_fixture.h"

namespace {

using gw::substitute::MenuEntry;

const std::vector<std::string> kDocumentTools = {
    "Tools [KVTools]",
    "  Tables [Gridwright]",
    "    List Table Usage (3)",
    "    Delete Unused Table Tags (4)",
    "    ---- [Separator1]",
    "    Create Table Tag List (5)",
    "    Remove Non-list Table Tags (6)",
    "    ---- [Separator2]",
    "    Create Conversion Document (7)",
    "    Convert Tables (2)",
    "    ---- [Separator3]",
    "    Remove Overrides (8)",
    "    Find Next Override (9)",
    "    ---- [Separator4]",
    "    Fix Table Headings (1)",
    "    ---- [Separator5]",
    "    Generate Table Tag Report [TableTagReport]",
    "      All Tags (11)",
    "      Selected Tag... (19)",
    "    ---- [Separator6]",
    "    About Gridwright... (1000)",
};

const std::vector<std::string> kBookTools = {
    "Tools [KVToolsBook]",
    "  Tables [GridwrightBook]",
    "    List Table Usage (12)",
    "    List Table Usage - Individual (20)",
    "    List Table Usage - By Tag (21)",
    "    Delete Unused Table Tags (13)",
    "    ---- [Separator1]",
    "    Create Table Tag List (14)",
    "    Remove Non-list Table Tags (15)",
    "    ---- [Separator2]",
    "    Create Conversion Document (16)",
    "    Convert Tables (17)",
    "    ---- [Separator3]",
    "    Remove Overrides (18)",
    "    ---- [Separator4]",
    "    About Gridwright... (1000)",
};

bool Contains(const std::vector<ObjectId>& items, ObjectId id) {
  return std::find(items.begin(), items.end(), id) != items.end();
}

class MenuSetUp : public PluginTest {};

TEST_F(MenuSetUp, BuildsBothToolsMenusWithEveryCommandInOrder) {
  EXPECT_EQ(Host().RenderMenu("KVTools"), kDocumentTools);
  EXPECT_EQ(Host().RenderMenu("KVToolsBook"), kBookTools);

  // The Tools menus hang on their menu bars and on the quick menu bar.
  ObjectId tools = Host().FindMenuEntryByName("KVTools");
  ObjectId bookTools = Host().FindMenuEntryByName("KVToolsBook");
  const MenuEntry* main = Host().FindMenuEntry(Host().FindMenuEntryByName("!MakerMainMenu"));
  const MenuEntry* book = Host().FindMenuEntry(Host().FindMenuEntryByName("!BookMainMenu"));
  const MenuEntry* quick = Host().FindMenuEntry(Host().FindMenuEntryByName("!QuickMakerMainMenu"));
  ASSERT_TRUE(main != nullptr && book != nullptr && quick != nullptr);
  EXPECT_TRUE(Contains(main->items, tools));
  EXPECT_TRUE(Contains(book->items, bookTools));
  EXPECT_TRUE(Contains(quick->items, tools));
  EXPECT_TRUE(Contains(quick->items, bookTools));
  EXPECT_FALSE(Contains(main->items, bookTools));
  const std::vector<int32_t>& requested = Host().RequestedNotifications();
  EXPECT_NE(std::find(requested.begin(), requested.end(), 13), requested.end());
}

TEST_F(MenuSetUp, AboutIsOneCommandInBothMenusAndCommandsHaveTheirNames) {
  ObjectId about = Host().CommandWithNumber(1000);
  ASSERT_NE(about, 0u);
  const MenuEntry* tables = Host().FindMenuEntry(Host().FindMenuEntryByName("Gridwright"));
  const MenuEntry* bookTables = Host().FindMenuEntry(Host().FindMenuEntryByName("GridwrightBook"));
  ASSERT_TRUE(tables != nullptr && bookTables != nullptr);
  EXPECT_EQ(tables->items.back(), about);
  EXPECT_EQ(bookTables->items.back(), about);
  EXPECT_EQ(Host().FindMenuEntry(about)->name, "GridwrightAbout");

  const std::vector<std::pair<int32_t, std::string>> names = {
      {1, "FixTableHeadingsDoc"}, {2, "ConvertTablesInDoc"}, {3, "ListTableUsage"}, {4, "DeleteUnusedTables"},
      {5, "CreateTableList"}, {6, "RemoveNonlistTables"}, {7, "CreateTableConversionDocument"},
      {8, "RemoveTableOverrides"}, {9, "FindNextTableOverride"}, {11, "GenerateTableTagReport"},
      {12, "ListTableUsageBook"}, {13, "DeleteUnusedTablesBook"}, {14, "CreateTableListBook"},
      {15, "RemoveNonlistTablesBook"}, {16, "CreateTableConversionDocumentBook"}, {17, "ConvertTablesBook"},
      {18, "RemoveTableOverridesBook"}, {19, "GenerateTableTagReportSingle"}, {20, "ListTableUsageBookIndFiles"},
      {21, "ListTableUsageBookByFormat"},
  };
  for (const auto& [number, name] : names) {
    const MenuEntry* command = Host().FindMenuEntry(Host().CommandWithNumber(number));
    ASSERT_NE(command, nullptr) << number;
    EXPECT_EQ(command->name, name) << number;
    EXPECT_EQ(command->shortcut, "") << number;
  }
  EXPECT_EQ(Host().CommandWithNumber(10), 0u);
}

// Initialize with any code but 1 defines nothing, yet still asks for client calls.
class MenuSetUpOtherCode : public PluginTest {
 protected:
  int32_t InitializationCode() override { return 2; }
};

TEST_F(MenuSetUpOtherCode, DefinesNoMenusButAsksForClientCalls) {
  EXPECT_EQ(Host().FindMenuEntryByName("KVTools"), 0u);
  EXPECT_EQ(Host().FindMenuEntryByName("Gridwright"), 0u);
  EXPECT_EQ(Host().FindMenuEntryByName("KVToolsBook"), 0u);
  EXPECT_EQ(Host().CommandWithNumber(1000), 0u);
  const std::vector<int32_t>& requested = Host().RequestedNotifications();
  EXPECT_NE(std::find(requested.begin(), requested.end(), 13), requested.end());
}

// Initialize with code 1 after a first one with code 2, so that the call trace
// of the menu set-up can be read.
class MenuSetUpTrace : public MenuSetUpOtherCode {};

TEST_F(MenuSetUpTrace, PlacesEachTablesSubmenuEvenWhenTheWalkEndsOnItself) {
  ASSERT_EQ(Session().Initialize(1), S_OK);
  ObjectId tools = Host().FindMenuEntryByName("KVTools");
  ObjectId tables = Host().FindMenuEntryByName("Gridwright");
  ObjectId bookTools = Host().FindMenuEntryByName("KVToolsBook");
  ObjectId bookTables = Host().FindMenuEntryByName("GridwrightBook");
  using gw::substitute::FormatId;
  // A new Tools menu holds only the submenu, which the walk reaches first and
  // sets in front of itself; the host leaves it where it is.
  EXPECT_EQ(Host().CallsOf("SetIdProp"),
            (std::vector<std::string>{
                "SetIdProp(" + FormatId(tools) + ", " + FormatId(tables) + ", 1923, " + FormatId(tables) + ")",
                "SetIdProp(" + FormatId(bookTools) + ", " + FormatId(bookTables) + ", 1923, " +
                    FormatId(bookTables) + ")"}));
  EXPECT_EQ(Host().RenderMenu("KVTools"), kDocumentTools);
  EXPECT_EQ(Host().RenderMenu("KVToolsBook"), kBookTools);
}

// Tools menus that another plug-in made first, with items of its own.
class MenuPlacement : public PluginTest {
 protected:
  void BeforeInitialize() override {
    existingTools_ = Host().CreateMenu("KVTools", "Tools");
    for (const char* label : {"Styles", "tables", "Templates"}) {
      Host().CreateCommand(existingTools_, std::string("Other") + label, label);
    }
    existingBookTools_ = Host().CreateMenu("KVToolsBook", "Tools");
    for (const char* label : {"Alpha", "styles"}) {
      Host().CreateCommand(existingBookTools_, std::string("Other") + label, label);
    }
  }

  std::vector<std::string> Labels(ObjectId menu) {
    std::vector<std::string> labels;
    for (ObjectId item : Host().FindMenuEntry(menu)->items) labels.push_back(Host().FindMenuEntry(item)->label);
    return labels;
  }

  ObjectId existingTools_ = 0;
  ObjectId existingBookTools_ = 0;
};

TEST_F(MenuPlacement, PutsTablesBeforeTheFirstLabelAtOrAfterTablesIgnoringCase) {
  // "tables" equals "Tables" without regard to case, so the submenu goes
  // before it; "Styles" and "styles" sort before it either way.
  EXPECT_EQ(Labels(existingTools_), (std::vector<std::string>{"Styles", "Tables", "tables", "Templates"}));
  EXPECT_EQ(Host().FindMenuEntry(Host().FindMenuEntry(existingTools_)->items[1])->name, "Gridwright");
  EXPECT_EQ(Labels(existingBookTools_), (std::vector<std::string>{"Alpha", "styles", "Tables"}));
  // The existing menus were used, not made again on the menu bars.
  for (const std::string& line : Host().RenderMenu("!MakerMainMenu")) EXPECT_EQ(line.find("[KVTools]"), line.npos);
  for (const std::string& line : Host().RenderMenu("!BookMainMenu")) EXPECT_EQ(line.find("[KVToolsBook]"), line.npos);
}

}  // namespace
