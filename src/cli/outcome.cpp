// Ranking of exit codes and the save decision.
#include "cli/outcome.h"

namespace gw::cli {

ExitCode Worse(ExitCode a, ExitCode b) {
  auto rank = [](ExitCode code) {
    switch (code) {
      case ExitCode::kUnreadable:
        return 4;
      case ExitCode::kFailed:
        return 3;
      case ExitCode::kUsage:
        return 2;
      case ExitCode::kDeclined:
        return 1;
      case ExitCode::kDone:
        return 0;
    }
    return 0;
  };
  return rank(a) >= rank(b) ? a : b;
}

SaveDecision DecideSave(const SaveFacts& facts) {
  if (!facts.changed) return SaveDecision::kNothing;
  if (facts.dryRun) return SaveDecision::kDescribe;
  // A command that stopped half-way may have left the document half-changed.
  if (facts.run == ExitCode::kFailed || facts.run == ExitCode::kUnreadable) return SaveDecision::kRefuse;
  return SaveDecision::kSave;
}

Outcome Decide(const CommandFacts& facts) {
  Outcome outcome;
  bool failed = facts.stopped || facts.failedHostCalls > 0 || facts.problemLines > 0 || facts.unopenedFiles > 0 ||
                facts.warning || facts.saveFailed;
  if (facts.fileUnreadable) {
    outcome.code = ExitCode::kUnreadable;
  } else if (failed) {
    outcome.code = ExitCode::kFailed;
  } else if (facts.declined) {
    outcome.code = ExitCode::kDeclined;
  }
  outcome.save = !failed && !facts.fileUnreadable;
  return outcome;
}

bool MayWriteDuringCommand(const CommandFacts& facts) {
  return !facts.stopped && facts.failedHostCalls == 0 && facts.problemLines == 0;
}

}  // namespace gw::cli
