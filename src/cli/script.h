// Script mode: several steps in one host session, one step a line.
//
//   # List the usage of a book, then convert a document with a filled list.
//   open-book manual/manual.book
//   command ListTableUsageBook          # by command name, client-call name or number
//   print report
//   open lists/convert.mif
//   open manual/chapter2.mif
//   answer yes                          # for the next OK/Cancel or Yes/No question
//   call SetDocId @chapter2.mif         # @name: the id of that open document or book
//   call ConvertTablesDoc
//   save
//   print transcript
//
// Steps: open FILE, open-book FILE, activate NAME, close NAME, answer
// yes|no|ok|cancel, choose N|"item", cancel, command NAME|NUMBER, call TEXT,
// select NAME N, save [NAME], write-report FILE, print report, print summary
// NAME, print tables NAME, print transcript. Words are separated by blanks; "double quotes"
// keep blanks in a word; # starts a comment.
#pragma once

#include <string>
#include <string_view>

#include "cli/outcome.h"
#include "cli/session.h"

namespace gw::cli {

// Runs the script's steps in order in one session. A step that is wrong
// (unknown step, missing argument, unknown name) stops the script with
// kUsage and "script:line: what"; a file that does not read stops it with
// kUnreadable. Otherwise the result is the worst of what the commands ended
// with (Judge), a declined question giving kDeclined.
[[nodiscard]] ExitCode RunScript(std::string_view text, const std::string& scriptName, const SessionConfig& config,
                                 Io& io);

}  // namespace gw::cli
