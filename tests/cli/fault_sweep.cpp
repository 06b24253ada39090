// The fault sweep: every command of the command line, on copies of the sample
// book, run once without faults and then once for each host call that fails
// (once, or from then on; with a host status or a COM error) and each
// allocation of the plug-in that fails (once, or from then on). Questions are
// answered yes, and for a subset of the runs no. After each run it checks:
//   leak       the plug-in left a host block unfreed
//   used-format a format was deleted that a table of the book uses
//   file       a file is neither as it was nor as the fault-free run left it
//   success    exit 0 with a result that differs from the fault-free run
//   declined   a declined question changed a file
// Crashes, sanitizer reports and hangs (a run over 60 seconds) end the program.
//
//   fault_sweep [--sample] [--case NAME] [--verbose]
//
// --sample runs a fixed, spread-out share of the indices (what CI runs); the
// default is every index. Exit status 0 when no run broke a rule.
#include <dlfcn.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "cli/job.h"
#include "mif/host_paths.h"
#include "mif/mif_file_store.h"
#include "substitute/substitute_host.h"

namespace {

namespace fs = std::filesystem;
namespace sub = gw::substitute;
using gw::cli::ExitCode;

using Files = std::map<std::string, std::string>;

struct Case {
  std::string name;
  std::vector<std::string> arguments;  // {dir} is the copy's folder
  bool asks = false;                   // has a question that --no declines
};

const std::vector<Case>& Cases() {
  static const std::vector<Case> cases = {
      {"fix-headings", {"fix-headings", "--yes", "{dir}/intro.mif"}, true},
      {"convert", {"convert", "--yes", "--map", "Options=Wide", "{dir}/commands.mif"}, true},
      {"list-usage", {"list-usage", "{dir}/intro.mif"}},
      {"delete-unused", {"delete-unused", "--yes", "{dir}/glossary.mif"}, true},
      {"create-tag-list", {"create-tag-list", "--list-type", "all", "{dir}/intro.mif"}},
      {"keep-listed", {"keep-listed", "--yes", "--keep", "Format A,Wide", "{dir}/intro.mif"}, true},
      {"create-conversion-list", {"create-conversion-list", "--list-type", "all", "{dir}/intro.mif"}},
      {"remove-overrides", {"remove-overrides", "--yes", "{dir}/commands.mif"}, true},
      {"find-override", {"find-override", "{dir}/install.mif"}},
      {"report", {"report", "{dir}/intro.mif"}},
      {"report-one-tag", {"report", "--tag", "Wide", "{dir}/intro.mif"}},
      {"about", {"about"}},
      {"book-list-usage", {"list-usage", "{dir}/manual.book"}},
      {"book-delete-unused", {"delete-unused", "--yes", "{dir}/manual.book"}, true},
      {"book-create-tag-list", {"create-tag-list", "--list-type", "used", "{dir}/manual.book"}},
      {"book-keep-listed", {"keep-listed", "--yes", "--keep", "Format A,Options,Notes", "{dir}/manual.book"}, true},
      {"book-create-conversion-list", {"create-conversion-list", "--list-type", "all", "{dir}/manual.book"}},
      {"book-convert", {"convert", "--yes", "--map", "Options=Wide", "{dir}/manual.book"}, true},
      {"book-remove-overrides", {"remove-overrides", "--yes", "{dir}/manual.book"}, true},
      {"book-list-usage-individual", {"list-usage", "--individual", "{dir}/manual.book"}},
      {"book-list-usage-by-tag", {"list-usage", "--by-tag", "{dir}/manual.book"}},
  };
  return cases;
}

enum class FaultKind { kNone, kHostOnce, kHostFrom, kComOnce, kAllocOnce, kAllocFrom };

const char* NameOf(FaultKind kind) {
  switch (kind) {
    case FaultKind::kNone: return "none";
    case FaultKind::kHostOnce: return "host-once";
    case FaultKind::kHostFrom: return "host-from";
    case FaultKind::kComOnce: return "com-once";
    case FaultKind::kAllocOnce: return "alloc-once";
    case FaultKind::kAllocFrom: return "alloc-from";
  }
  return "?";
}

struct Fault {
  FaultKind kind = FaultKind::kNone;
  uint64_t index = 0;  // 1-based call or allocation of the command
};

// What one run left.
struct RunRecord {
  ExitCode code = ExitCode::kDone;
  std::string out;
  std::string err;
  Files files;
  uint64_t hostCalls = 0;    // during the command and after it
  uint64_t allocations = 0;  // of the plug-in, from the command on
  int64_t leakedBlocks = 0;
};

std::string ReadAll(const fs::path& path) {
  std::ifstream file(path, std::ios::binary);
  std::ostringstream buffer;
  buffer << file.rdbuf();
  return buffer.str();
}

Files Snapshot(const fs::path& folder) {
  Files files;
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (entry.is_regular_file()) files[entry.path().filename().string()] = ReadAll(entry.path());
  }
  return files;
}

// The plug-in's allocation seam, looked up in the loaded library.
struct AllocationSeam {
  void (*fail)(uint32_t, uint32_t) = nullptr;
  uint64_t (*count)() = nullptr;
};

AllocationSeam FindSeam(const std::string& pluginPath) {
  AllocationSeam seam;
  void* library = dlopen(pluginPath.c_str(), RTLD_NOW | RTLD_NOLOAD);
  if (library == nullptr) return seam;
  seam.fail = reinterpret_cast<void (*)(uint32_t, uint32_t)>(dlsym(library, "GridwrightFailAllocationsAfter"));
  seam.count = reinterpret_cast<uint64_t (*)()>(dlsym(library, "GridwrightAllocationCount"));
  dlclose(library);
  return seam;
}

class Sweep {
 public:
  Sweep(fs::path samples, std::string pluginPath) : samples_(std::move(samples)), pluginPath_(std::move(pluginPath)) {
    root_ = fs::temp_directory_path() / ("gw_fault_sweep_" + std::to_string(::getpid()));
    fs::remove_all(root_);
    fs::create_directories(root_);
    original_ = Snapshot(samples_);
    bookTags_ = UsedTags(samples_);
  }
  ~Sweep() { fs::remove_all(root_); }

  // The formats the rules protect: those a table of a document the command
  // reads uses (every document of the book, or the one document).
  void Begin(const Case& c) {
    usedTags_ = bookTags_;
    const std::string& target = c.arguments.back();
    if (target.ends_with(".mif")) {
      std::string name = fs::path(target).filename().string();
      usedTags_ = Catalogues(samples_)[name].tableTags;
    }
  }

  RunRecord Run(const Case& c, bool yes, Fault fault) {
    fs::path dir = root_ / "manual";
    fs::remove_all(dir);
    fs::copy(samples_, dir);
    std::vector<std::string> arguments;
    for (std::string argument : c.arguments) {
      if (argument == "--yes" && !yes) argument = "--no";
      for (size_t at; (at = argument.find("{dir}")) != std::string::npos;) argument.replace(at, 5, dir.string());
      arguments.push_back(argument);
    }
    RunRecord record;
    uint64_t callsAtStart = 0;
    uint64_t allocationsAtStart = 0;
    AllocationSeam seam;
    gw::cli::SessionProbe probe;
    probe.beforeCommand = [&](sub::SubstituteHost& host) {
      callsAtStart = host.CallCount();
      seam = FindSeam(pluginPath_);
      if (seam.fail != nullptr) seam.fail(0, 0);
      if (seam.count != nullptr) allocationsAtStart = seam.count();
      Inject(host, seam, fault);
    };
    probe.afterCommand = [&](sub::SubstituteHost&) {
      if (seam.count != nullptr) record.allocations = seam.count() - allocationsAtStart;
    };
    probe.atEnd = [&](sub::SubstituteHost& host) {
      record.hostCalls = host.CallCount() - callsAtStart;
      record.leakedBlocks = host.LeakedBlocks();
    };
    gw::cli::SetSessionProbe(probe);
    std::ostringstream out, err;
    std::istringstream in;
    gw::cli::Io io{out, err, in, false, false};
    ::alarm(60);
    record.code = gw::cli::RunCommandLine(arguments, io);
    ::alarm(0);
    // A library that stays loaded keeps its seam: switch it off for the next run.
    if (AllocationSeam after = FindSeam(pluginPath_); after.fail != nullptr) after.fail(0, 0);
    gw::cli::SetSessionProbe({});
    record.out = out.str();
    record.err = err.str();
    const std::string folder = dir.string();
    for (size_t at; (at = record.out.find(folder)) != std::string::npos;) record.out.replace(at, folder.size(), "{dir}");
    record.files = Snapshot(dir);
    return record;
  }

  // Checks one fault run against the fault-free run with the same answers;
  // returns the kinds of rule it broke.
  std::vector<std::string> Check(const RunRecord& run, const RunRecord& clean, bool yes) const {
    std::vector<std::string> broken;
    if (run.leakedBlocks != 0) broken.push_back("leak");
    if (!UsedFormatsKept(run.files, clean.files)) broken.push_back("used-format");
    for (const auto& [name, bytes] : run.files) {
      auto before = original_.find(name);
      auto intended = clean.files.find(name);
      bool unchanged = before != original_.end() && before->second == bytes;
      bool asIntended = intended != clean.files.end() && intended->second == bytes;
      if (!unchanged && !asIntended) {
        broken.push_back("file");
        break;
      }
    }
    bool sameResult = run.out == clean.out && run.files == clean.files && clean.code == ExitCode::kDone;
    if (run.code == ExitCode::kDone && !sameResult) {
      broken.push_back("success");
    }
    if (!yes && run.files != original_) broken.push_back("declined");
    return broken;
  }

  // The fault-free run itself must keep the rules that do not need a
  // reference. Only keep-listed deletes formats that tables use: the user named them.
  std::vector<std::string> CheckClean(const Case& c, const RunRecord& clean, bool yes) const {
    std::vector<std::string> broken;
    if (clean.leakedBlocks != 0) broken.push_back("leak");
    if (c.arguments.front() != "keep-listed" && !UsedFormatsKept(clean.files, original_)) {
      broken.push_back("used-format");
    }
    if (!yes && clean.files != original_) broken.push_back("declined");
    return broken;
  }

 private:
  static void Inject(sub::SubstituteHost& host, const AllocationSeam& seam, Fault fault) {
    sub::FailureRule rule;
    rule.method = "*";
    rule.skip = static_cast<int32_t>(fault.index) - 1;
    switch (fault.kind) {
      case FaultKind::kNone:
        return;
      case FaultKind::kHostOnce:
        host.InjectFailure(rule);
        return;
      case FaultKind::kHostFrom:
        rule.times = sub::FailureRule::kEveryTime;
        host.InjectFailure(rule);
        return;
      case FaultKind::kComOnce:
        host.InjectFailure(rule.WithHresult(E_FAIL));
        return;
      case FaultKind::kAllocOnce:
        if (seam.fail != nullptr) seam.fail(static_cast<uint32_t>(fault.index - 1), 1);
        return;
      case FaultKind::kAllocFrom:
        if (seam.fail != nullptr) seam.fail(static_cast<uint32_t>(fault.index - 1), UINT32_MAX);
        return;
    }
  }

  // Table tags and format names of a MIF document, read through the store.
  struct Catalogue {
    std::set<std::string> formats;
    std::set<std::string> tableTags;
  };
  static std::map<std::string, Catalogue> Catalogues(const fs::path& folder) {
    std::map<std::string, Catalogue> result;
    gw::mif::MifFileStore store{gw::mif::HostPaths(folder)};
    for (const auto& entry : fs::directory_iterator(folder)) {
      if (entry.path().extension() != ".mif") continue;
      std::string name = entry.path().filename().string();
      sub::LoadResult loaded = store.Load("G:\\" + name);
      auto* document = std::get_if<std::unique_ptr<sub::Document>>(&loaded);
      if (document == nullptr) continue;
      Catalogue& catalogue = result[name];
      for (const std::string& format : (*document)->TableFormatNames()) catalogue.formats.insert(format);
      for (::ObjectId table : (*document)->TablesInOrder()) {
        catalogue.tableTags.insert((*document)->FindTable(table)->tag);
      }
      store.Forget((*document)->Id());
    }
    return result;
  }
  static std::set<std::string> UsedTags(const fs::path& folder) {
    std::set<std::string> used;
    for (const auto& [name, catalogue] : Catalogues(folder)) {
      used.insert(catalogue.tableTags.begin(), catalogue.tableTags.end());
    }
    return used;
  }

  // Whether every format that a table of the book uses and that the
  // reference files hold is still in the run's files.
  bool UsedFormatsKept(const Files& files, const Files& reference) const {
    if (files == reference) return true;
    std::map<std::string, Catalogue> now = CataloguesOf(files, "now");
    std::map<std::string, Catalogue> then = CataloguesOf(reference, "then");
    for (const auto& [name, catalogue] : then) {
      for (const std::string& format : catalogue.formats) {
        if (usedTags_.count(format) != 0 && now[name].formats.count(format) == 0) return false;
      }
    }
    return true;
  }

  std::map<std::string, Catalogue> CataloguesOf(const Files& files, const std::string& scratch) const {
    fs::path folder = root_ / scratch;
    fs::remove_all(folder);
    fs::create_directories(folder);
    for (const auto& [name, bytes] : files) std::ofstream(folder / name, std::ios::binary) << bytes;
    return Catalogues(folder);
  }

  fs::path samples_;
  std::string pluginPath_;
  fs::path root_;
  Files original_;
  std::set<std::string> bookTags_;    // used by a table of any document of the book
  std::set<std::string> usedTags_;    // those the current case's command reads
};

// The indices 1, 1 + stride, ... up to count, the last always included.
std::vector<uint64_t> Indices(uint64_t count, uint64_t stride) {
  std::vector<uint64_t> indices;
  for (uint64_t i = 1; i <= count; i += stride) indices.push_back(i);
  if (count > 0 && indices.back() != count) indices.push_back(count);
  return indices;
}

}  // namespace

int main(int argc, char** argv) {
  bool sample = false;
  bool verbose = false;
  std::string only;
  for (int i = 1; i < argc; ++i) {
    std::string argument = argv[i];
    if (argument == "--sample") {
      sample = true;
    } else if (argument == "--verbose") {
      verbose = true;
    } else if (argument == "--case" && i + 1 < argc) {
      only = argv[++i];
    } else {
      std::cerr << "usage: fault_sweep [--sample] [--case NAME] [--verbose]\n";
      return 2;
    }
  }
  // Every session loads the build of the plug-in that exports its allocation
  // seam (GRIDWRIGHT_FAULT_PLUGIN names another copy of it).
  const char* given = std::getenv("GRIDWRIGHT_FAULT_PLUGIN");
  std::string plugin = given != nullptr && *given != '\0' ? given : GRIDWRIGHT_FAULT_PLUGIN;
  ::setenv("GRIDWRIGHT_PLUGIN", plugin.c_str(), 1);
  Sweep sweep(fs::path(GRIDWRIGHT_SAMPLES_DIR) / "manual", plugin);
  std::map<std::string, uint64_t> violations;
  uint64_t runs = 0;
  auto report = [&](const std::string& what, const std::vector<std::string>& broken, const RunRecord& run) {
    for (const std::string& kind : broken) {
      if (violations[kind]++ < 5 || verbose) {
        std::cout << "VIOLATION " << kind << ": " << what << " -> exit " << static_cast<int>(run.code) << "\n"
                  << run.err;
        if (verbose) std::cout << "--- output ---\n" << run.out << "--- end ---\n";
      }
    }
  };
  for (const Case& c : Cases()) {
    if (!only.empty() && c.name != only) continue;
    sweep.Begin(c);
    for (bool yes : {true, false}) {
      if (!yes && !c.asks) continue;
      RunRecord clean = sweep.Run(c, yes, {});
      ++runs;
      std::string label = c.name + (yes ? " (yes)" : " (no)");
      report(label + " without faults", sweep.CheckClean(c, clean, yes), clean);
      if (clean.code != ExitCode::kDone && yes) {
        violations["clean-exit"]++;
        std::cout << "VIOLATION clean-exit: " << label << " exits " << static_cast<int>(clean.code) << "\n"
                  << clean.err;
      }
      uint64_t caseRuns = 0;
      for (FaultKind kind : {FaultKind::kHostOnce, FaultKind::kHostFrom, FaultKind::kComOnce, FaultKind::kAllocOnce,
                             FaultKind::kAllocFrom}) {
        bool allocation = kind == FaultKind::kAllocOnce || kind == FaultKind::kAllocFrom;
        uint64_t count = allocation ? clean.allocations : clean.hostCalls;
        // Every index, and every fifth with the answer no; a sample takes about
        // a dozen spread over the command (three with no).
        uint64_t stride = sample ? std::max<uint64_t>(1, count / (yes ? 12 : 3)) : (yes ? 1 : 5);
        for (uint64_t index : Indices(count, stride)) {
          RunRecord run = sweep.Run(c, yes, {kind, index});
          ++runs;
          ++caseRuns;
          report(label + " " + NameOf(kind) + " " + std::to_string(index), sweep.Check(run, clean, yes), run);
        }
      }
      std::cout << label << ": " << clean.hostCalls << " host calls, " << clean.allocations << " allocations, "
                << caseRuns << " runs" << std::endl;
    }
  }
  uint64_t total = 0;
  std::cout << "fault sweep: " << runs << " runs\n";
  for (const char* kind : {"leak", "used-format", "file", "success", "declined", "clean-exit"}) {
    std::cout << "  " << kind << ": " << violations[kind] << "\n";
    total += violations[kind];
  }
  std::cout << (total == 0 ? "no violations\n" : "VIOLATIONS FOUND\n");
  return total == 0 ? 0 : 1;
}
