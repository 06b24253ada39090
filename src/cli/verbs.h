// The verbs of the command line and the plug-in commands behind them: which
// command number each verb sends for a document and for a book, and the
// plug-in's own command and client-call names for script mode.
#pragma once

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace gw::cli {

// Variants of a verb chosen by options.
enum class VerbForm { kPlain, kIndividual, kByTag, kSingleTag };

struct Verb {
  std::string_view name;          // "list-usage"
  std::string_view summary;       // one line for the tool's --help
  std::string_view help;          // the verb's own --help, after its usage line
  int32_t documentCommand = 0;    // 0: not for documents
  int32_t bookCommand = 0;        // 0: not for books
  bool changesDocuments = false;  // document commands: the target is written back
  bool asksList = false;          // needs a list document (--list)
  bool asksListType = false;      // shows the "Choose a list type" prompt
  bool needsFile = true;          // about needs none
};

// Every verb in help order (show, handled by the command line itself, included).
[[nodiscard]] std::span<const Verb> Verbs();
[[nodiscard]] const Verb* FindVerb(std::string_view name);

// The command number a verb sends for a document or a book in a form; 0 when
// the verb has no such command.
[[nodiscard]] int32_t CommandFor(const Verb& verb, bool book, VerbForm form);

// One command of the plug-in by number, command name and client-call name
// ("" when it has none).
struct PluginCommand {
  int32_t number;
  std::string_view name;
  std::string_view clientCall;
  bool book;
};
[[nodiscard]] std::span<const PluginCommand> PluginCommands();
// By number, command name or client-call name.
[[nodiscard]] const PluginCommand* FindPluginCommand(std::string_view nameOrNumber);

}  // namespace gw::cli
