// The command line's arguments: what a run is asked to do, parsed from argv
// without touching any file, and the help texts.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "cli/check.h"
#include "cli/outcome.h"
#include "cli/plain_list.h"
#include "cli/session.h"
#include "cli/verbs.h"

namespace gw::cli {

struct JobRequest {
  enum class Kind { kHelp, kVersion, kVerb, kScript };
  Kind kind = Kind::kHelp;
  const Verb* verb = nullptr;            // kVerb; kHelp: the verb asked about, or none
  std::string file;                      // the document or book (kVerb), the script or "-" (kScript);
                                         // kHelp: "script" for script mode's help
  std::optional<std::string> listFile;   // --list: a list document (MIF) or a plain text list
  // --keep / --map: the list to build as a list document, in the host encoding.
  std::optional<PlainList> givenList;
  // --output / --report-mif: written as MIF; create-*-list with FILE.txt
  // writes the plain text form of the list instead.
  std::optional<std::string> outputMif;
  VerbForm form = VerbForm::kPlain;
  Answers answers;           // --yes, --no, --list-type, --tag
  std::optional<int> after;  // find-override --after N (1-based table number)
  bool dryRun = false;
  bool progress = true;                   // --no-progress turns it off
  std::optional<std::string> pluginPath;  // --plugin
  std::optional<std::string> icuDataDir;  // --icu-data
  std::optional<unsigned> jobs;           // --jobs, else GRIDWRIGHT_JOBS; unset: DefaultJobs()
  CheckRequest check;                     // check: --template, --format, --fail-on
};

// Parses the arguments after the program name (with CLI11). Bad usage fails
// with kUsage and a message naming the argument.
[[nodiscard]] Result<JobRequest> ParseArguments(const std::vector<std::string>& arguments);

// The tool's help, one verb's, and script mode's.
[[nodiscard]] std::string ToolHelp();
[[nodiscard]] std::string ScriptHelp();
[[nodiscard]] std::string VerbHelp(const Verb& verb);
// `gridwright --version`: the program's version and the plug-in's, both from
// the version resource header.
[[nodiscard]] std::string VersionText();

}  // namespace gw::cli
