// The plug-in's command table (numbers, names, labels, client-call names,
// bodies and the target each command needs) and the set-up of its menus in
// the host.
#ifndef GRIDWRIGHT_COMMANDS_MENUS_H
#define GRIDWRIGHT_COMMANDS_MENUS_H

#include "commands/commands.h"
#include "host/fm_api.h"

// ---- The command table ------------------------------------------------------------------

// What the dispatcher must have before it runs a command's body.
enum CommandTarget {
  kTargetNone = 0,      // runs with whatever the dispatcher found (About, the tag reports)
  kTargetDocument = 1,  // refused with "Please open a document first." when there is no document
  kTargetBook = 2,      // refused with "Please open a book first." when there is no book
};

typedef struct CommandEntry {
  int32_t number;              // the number the host hands back in the Command notification
  const char* name;            // the host command name
  const char* label;           // the menu label
  const char* clientCallName;  // the name another client calls it by; NULL when it has none
  CommandBody body;
  CommandTarget target;
} CommandEntry;

// The entry of a command number, or NULL for a number the plug-in does not
// define (10, for one).
const CommandEntry* FindCommand(int32_t number);

// The entry whose client-call name equals text exactly (byte for byte, same
// length), or NULL. A NULL text matches nothing.
const CommandEntry* FindClientCall(const char* text);

// ---- Menus --------------------------------------------------------------------------------

// Looks up or creates the document and book Tools menus, defines the Tables
// submenus with every command and separator, and places each submenu among
// the Tools menu's items by label. The host keeps every menu and command; the
// plug-in holds no handle afterwards. Results of the host calls are not
// checked: a lookup that finds nothing yields 0 and later calls get that 0.
void SetUpMenus(void);

// Moves submenu (already appended to toolsMenu) in front of the first item of
// toolsMenu whose label sorts at or after "Tables", ignoring letter case. The
// walk reaches submenu itself at the latest, which then stays where it is.
void PlaceTablesSubmenu(ObjectId toolsMenu, ObjectId submenu);

#endif  // GRIDWRIGHT_COMMANDS_MENUS_H
