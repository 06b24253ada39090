// Whole-book benchmark of the command line: generates a book of MIF chapters
// in a temporary folder, then measures MIF read and write throughput through
// the MIF file store and the time and peak memory of List Table Usage, check,
// Delete Unused and Remove Overrides on the whole book, run as `gridwright`
// runs them, each as a child process of its own.
//
//   gridwright_bench [--chapters N] [--tables N] [--rows N] [--keep | --generate-only]
//   gridwright_bench --curves [--runs N]
//
// Defaults: 200 chapters of 100 tables with 12 body rows (about 1 MB each).
// --generate-only writes the book, says where, and stops: a book as generated,
// for side-by-side runs of the commands that change it.
// --curves measures how cost grows instead: tables in one chapter (10 to
// 5,000), formats in one catalogue (10 to 10,000) and chapters of about 1 MB
// in a book (20 to 200). Each case runs the `gridwright` program beside this
// one as a child process, N times (default 3), and reports the least CPU time
// (user and system) per table, format or chapter and the child's peak memory
// as a multiple of the largest chapter, beside the same figures for `cat`
// reading the files; book walks show that run's wall time as well.
// GRIDWRIGHT_JOBS in the environment sets the commands' --jobs (1: no reading
// ahead).
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "mif/host_paths.h"
#include "mif/mif_file_store.h"
#include "mif/mif_reader.h"

namespace {

namespace fs = std::filesystem;
using Clock = std::chrono::steady_clock;

struct Settings {
  int chapters = 200;
  int tables = 100;
  int rows = 12;
  int extraFormats = 0;  // unused formats added to the catalogue
  bool keep = false;
  bool generateOnly = false;  // write the book and stop
};

double Seconds(Clock::time_point start) { return std::chrono::duration<double>(Clock::now() - start).count(); }

long PeakMegabytes() {
  rusage usage{};
  getrusage(RUSAGE_SELF, &usage);
  return usage.ru_maxrss / 1024;  // kilobytes on Linux
}

const char* kFormats[] = {"Format A", "Format B", "Wide", "Steps", "Options", "Notes", "Legacy", "Spare"};

std::string FormatStatement(const std::string& name, const char* alignment) {
  return std::string(" <TblFormat \n  <TblTag `") + name +
         "'>\n  <TblLIndent  0.0 pt>\n  <TblRIndent  0.0 pt>\n  <TblSpBefore  6.0 pt>\n  <TblSpAfter  6.0 pt>\n"
         "  <TblAlignment " +
         alignment +
         ">\n  <TblPlacement Anywhere>\n  <TblTitlePlacement InHeader>\n"
         "  <TblTitlePgf1 \n   <PgfTag `TableTitle'>\n  > # end of TblTitlePgf1\n  <TblTitleGap  6.0 pt>\n"
         "  <TblBlockSize 1>\n  <TblColumnRuling `Thin'>\n  <TblBodyRowRuling `Thin'>\n  <TblHFRowRuling `Thin'>\n"
         "  <TblSeparatorRuling `Medium'>\n  <TblLRuling `Thin'>\n  <TblBRuling `Medium'>\n  <TblRRuling `Thin'>\n"
         "  <TblTRuling `Medium'>\n  <TblHFFill 15>\n  <TblHFColor `Black'>\n"
         "  <TblCellMargins  6.0 pt 2.0 pt 6.0 pt 2.0 pt>\n > # end of TblFormat\n";
}

std::string Cell(const std::string& text, bool override) {
  return std::string("    <Cell \n") + (override ? "     <CellFill 5>\n" : "") +
         "     <CellContent \n      <Para \n       <PgfTag `CellBody'>\n       <ParaLine \n        <String `" + text +
         "'>\n       > # end of ParaLine\n      > # end of Para\n     > # end of CellContent\n    > # end of Cell\n";
}

// One chapter: catalogues, tables in several formats (every seventh with an
// own alignment, every eleventh with a cell override), one paragraph
// anchoring each table.
std::string Chapter(int number, const Settings& settings) {
  std::string text = "<MIFFile 7.00> # generated chapter " + std::to_string(number) + "\n<Units Upt>\n";
  text +=
      "<PgfCatalog \n <Pgf \n  <PgfTag `Body'>\n > # end of Pgf\n <Pgf \n  <PgfTag `CellBody'>\n > # end of Pgf\n"
      " <Pgf \n  <PgfTag `TableTitle'>\n > # end of Pgf\n> # end of PgfCatalog\n";
  text +=
      "<RulingCatalog \n <Ruling \n  <RulingTag `Thin'>\n  <RulingPenWidth  0.5 pt>\n > # end of Ruling\n"
      " <Ruling \n  <RulingTag `Medium'>\n  <RulingPenWidth  2.0 pt>\n > # end of Ruling\n> # end of RulingCatalog\n";
  text += "<TblCatalog \n";
  for (const char* format : kFormats) text += FormatStatement(format, "Left");
  for (int extra = 1; extra <= settings.extraFormats; ++extra) {
    text += FormatStatement("Extra " + std::to_string(extra), "Right");
  }
  text += "> # end of TblCatalog\n<Tbls \n";
  for (int table = 1; table <= settings.tables; ++table) {
    // "Legacy" and "Spare" stay unused.
    const char* tag = kFormats[(table + number) % 6];
    text += " <Tbl \n  <TblID " + std::to_string(table) + ">\n  <TblTag `" + tag + "'>\n";
    if (table % 7 == 0) text += "  <TblFormat \n   <TblAlignment Center>\n  > # end of TblFormat\n";
    text +=
        "  <TblNumColumns 3>\n  <TblColumnWidth  108.0 pt>\n  <TblColumnWidth  144.0 pt>\n"
        "  <TblColumnWidth  180.0 pt>\n  <TblH \n   <Row \n" +
        Cell("Name", false) + Cell("Value", false) + Cell("Notes", false) +
        "   > # end of Row\n  > # end of TblH\n"
        "  <TblBody \n";
    for (int row = 0; row < settings.rows; ++row) {
      std::string key = "item " + std::to_string(row);
      text += "   <Row \n" + Cell(key, false) + Cell("value of " + key + " in table " + std::to_string(table), false) +
              Cell("Caf\\x8e  notes for the row", row == 0 && table % 11 == 0) + "   > # end of Row\n";
    }
    text += "  > # end of TblBody\n > # end of Tbl\n";
  }
  text += "> # end of Tbls\n";
  text +=
      "<Page \n <PageType BodyPage>\n <PageNum `1'>\n <TextRect \n  <ID 10>\n > # end of TextRect\n> # end of Page\n";
  text += "<TextFlow \n <TFTag `A'>\n <TFAutoConnect Yes>\n";
  for (int table = 1; table <= settings.tables; ++table) {
    text += " <Para \n  <PgfTag `Body'>\n  <ParaLine \n" + std::string(table == 1 ? "   <TextRectID 10>\n" : "") +
            "   <String `Table " + std::to_string(table) + " follows.'>\n   <ATbl " + std::to_string(table) +
            ">\n  > # end of ParaLine\n > # end of Para\n";
  }
  text += "> # end of TextFlow\n# End of MIFFile\n";
  return text;
}

// Runs the command line quietly and returns its exit code and time.
double CpuSeconds(const rusage& usage) {
  return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
         static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// ---- Scaling curves ----

// A child process's least CPU time over its runs and its largest peak memory.
struct ChildCost {
  double seconds = 0;
  double wallSeconds = 0;  // of the run with the least CPU time
  double peakMegabytes = 0;
  int exitCode = 0;
};

// Runs program with arguments `runs` times, its output to /dev/null.
// Linux keeps a process's memory high-water mark across exec, so a child
// spawned from this (large) process would report at least this process's
// size. Each child is therefore started by a fresh, small copy of this
// program (--measure), which runs it and prints its CPU time, peak and exit.
ChildCost MeasureDirectly(const std::vector<std::string>& command) {
  ChildCost cost;
  Clock::time_point start = Clock::now();
  pid_t child = fork();
  if (child == 0) {
    int null = ::open("/dev/null", O_WRONLY);
    ::dup2(null, 1);
    ::dup2(null, 2);
    std::vector<char*> argv;
    for (const std::string& argument : command) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    ::execvp(argv[0], argv.data());
    ::_exit(127);
  }
  int status = 0;
  rusage usage{};
  if (child < 0 || wait4(child, &status, 0, &usage) < 0) {
    cost.exitCode = 127;
    return cost;
  }
  cost.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128;
  cost.seconds = CpuSeconds(usage);
  cost.wallSeconds = Seconds(start);
  cost.peakMegabytes = static_cast<double>(usage.ru_maxrss) / 1024.0;
  return cost;
}

ChildCost RunChild(const std::string& program, const std::vector<std::string>& arguments, int runs) {
  ChildCost cost;
  cost.seconds = 1e30;
  for (int run = 0; run < runs; ++run) {
    std::error_code error;
    const std::string self = fs::read_symlink("/proc/self/exe", error).string();
    std::vector<std::string> command = {self, "--measure", program};
    command.insert(command.end(), arguments.begin(), arguments.end());
    std::vector<char*> argv;
    for (const std::string& argument : command) argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);
    int pipeEnds[2];
    if (::pipe(pipeEnds) != 0) {
      cost.exitCode = 127;
      return cost;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[1], 1);
    posix_spawn_file_actions_addclose(&actions, pipeEnds[0]);
    pid_t child = 0;
    int spawned = posix_spawn(&child, self.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    ::close(pipeEnds[1]);
    std::string report;
    char buffer[256];
    for (ssize_t got; (got = ::read(pipeEnds[0], buffer, sizeof buffer)) > 0;) report.append(buffer, got);
    ::close(pipeEnds[0]);
    int status = 0;
    if (spawned != 0 || waitpid(child, &status, 0) < 0) {
      std::cerr << "cannot run " << program << "\n";
      cost.exitCode = 127;
      return cost;
    }
    double seconds = 0, peak = 0, wall = 0;
    int code = 127;
    if (std::sscanf(report.c_str(), "%lf %lf %d %lf", &seconds, &peak, &code, &wall) != 4) code = 127;
    cost.exitCode = std::max(cost.exitCode, code);
    if (seconds < cost.seconds) cost.wallSeconds = wall;
    cost.seconds = std::min(cost.seconds, seconds);
    cost.peakMegabytes = std::max(cost.peakMegabytes, peak);
  }
  return cost;
}

// The `gridwright` program built beside this benchmark.
std::string GridwrightProgram() {
  std::error_code error;
  fs::path self = fs::read_symlink("/proc/self/exe", error);
  return (self.parent_path() / "gridwright").string();
}

// withWall: the wall time too (book walks, which read ahead on a second thread).
void PrintCurveLine(const char* unit, int count, const char* verb, const ChildCost& cost, const ChildCost& cat,
                    double largestMegabytes, bool withWall = false) {
  std::string wall;
  if (withWall) {
    char text[32];
    std::snprintf(text, sizeof text, "  wall %7.3f s", cost.wallSeconds);
    wall = text;
  }
  std::printf("  %6d %-8s %-17s %8.3f s  %9.1f us/%s  peak %6.1f MB = %5.1fx  (cat %6.3f s, %4.1fx)%s%s\n", count,
              unit, verb, cost.seconds, cost.seconds * 1e6 / count, unit, cost.peakMegabytes,
              cost.peakMegabytes / largestMegabytes, cat.seconds, cat.peakMegabytes / largestMegabytes, wall.c_str(),
              cost.exitCode == 0 ? "" : "  FAILED");
}

// Writes a chapter and returns its size in megabytes.
double WriteChapter(const fs::path& path, int number, const Settings& settings) {
  std::string text = Chapter(number, settings);
  std::ofstream(path, std::ios::binary) << text;
  return static_cast<double>(text.size()) / (1024.0 * 1024.0);
}

int RunCurves(const fs::path& folder, int runs) {
  const std::string gridwright = GridwrightProgram();
  int failures = 0;
  const auto tally = [&](const ChildCost& cost) { failures += cost.exitCode != 0 ? 1 : 0; };

  std::printf("Tables in one chapter (2 body rows each):\n");
  for (int tables : {10, 100, 1000, 5000}) {
    Settings settings;
    settings.tables = tables;
    settings.rows = 2;
    const fs::path chapter = folder / ("tables" + std::to_string(tables) + ".mif");
    const double megabytes = WriteChapter(chapter, 1, settings);
    const ChildCost cat = RunChild("cat", {chapter.string()}, runs);
    for (const char* verb : {"list-usage", "remove-overrides"}) {
      ChildCost cost = RunChild(gridwright, {verb, "--yes", "--no-progress", chapter.string()}, runs);
      tally(cost);
      PrintCurveLine("table", tables, verb, cost, cat, megabytes);
    }
  }

  std::printf("Formats in one catalogue (10 tables using 6 of them):\n");
  for (int formats : {10, 100, 1000, 10000}) {
    Settings settings;
    settings.tables = 10;
    settings.rows = 2;
    settings.extraFormats = std::max(0, formats - static_cast<int>(std::size(kFormats)));
    const fs::path chapter = folder / ("formats" + std::to_string(formats) + ".mif");
    const double megabytes = WriteChapter(chapter, 1, settings);
    const ChildCost cat = RunChild("cat", {chapter.string()}, runs);
    for (const char* verb : {"list-usage", "delete-unused"}) {
      // Each run starts from the full catalogue.
      ChildCost cost;
      cost.seconds = 1e30;
      for (int run = 0; run < runs; ++run) {
        WriteChapter(chapter, 1, settings);
        ChildCost one = RunChild(gridwright, {verb, "--yes", "--no-progress", chapter.string()}, 1);
        cost.seconds = std::min(cost.seconds, one.seconds);
        cost.peakMegabytes = std::max(cost.peakMegabytes, one.peakMegabytes);
        cost.exitCode = std::max(cost.exitCode, one.exitCode);
      }
      tally(cost);
      PrintCurveLine("format", formats, verb, cost, cat, megabytes);
    }
  }

  std::printf("Chapters of about 1 MB in one book (100 tables of 12 body rows each):\n");
  Settings settings;
  double largest = 0;
  int written = 0;
  for (int chapters : {20, 100, 200}) {
    for (; written < chapters; ++written) {
      largest = std::max(largest, WriteChapter(folder / ("chapter" + std::to_string(written + 1) + ".mif"),
                                               written + 1, settings));
    }
    std::string book = "<Book 7.00>\n";
    std::vector<std::string> files;
    for (int chapter = 1; chapter <= chapters; ++chapter) {
      std::string name = "chapter" + std::to_string(chapter) + ".mif";
      book += "<BookComponent \n <FileName `<c\\>" + name + "'>\n> # end of BookComponent\n";
      files.push_back((folder / name).string());
    }
    const fs::path bookPath = folder / ("book" + std::to_string(chapters) + ".book");
    std::ofstream(bookPath, std::ios::binary) << book;
    const ChildCost cat = RunChild("cat", files, runs);
    for (const char* verb : {"list-usage", "delete-unused", "remove-overrides"}) {
      ChildCost cost = RunChild(gridwright, {verb, "--yes", "--no-progress", bookPath.string()}, runs);
      tally(cost);
      PrintCurveLine("chapter", chapters, verb, cost, cat, largest, true);
    }
  }
  return failures == 0 ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc > 2 && std::string(argv[1]) == "--measure") {
    ChildCost cost = MeasureDirectly(std::vector<std::string>(argv + 2, argv + argc));
    std::printf("%.6f %.3f %d %.6f\n", cost.seconds, cost.peakMegabytes, cost.exitCode, cost.wallSeconds);
    return 0;
  }
  Settings settings;
  bool curves = false;
  int runs = 3;
  for (int i = 1; i < argc; ++i) {
    std::string option = argv[i];
    auto value = [&]() { return i + 1 < argc ? std::atoi(argv[++i]) : 0; };
    if (option == "--chapters")
      settings.chapters = value();
    else if (option == "--tables")
      settings.tables = value();
    else if (option == "--rows")
      settings.rows = value();
    else if (option == "--keep")
      settings.keep = true;
    else if (option == "--generate-only")
      settings.generateOnly = true;
    else if (option == "--curves")
      curves = true;
    else if (option == "--runs")
      runs = value();
    else {
      std::cerr << "usage: gridwright_bench [--chapters N] [--tables N] [--rows N] [--keep | --generate-only]\n"
                   "       gridwright_bench --curves [--runs N]\n";
      return 2;
    }
  }
  if (curves) {
    if (runs < 1) {
      std::cerr << "gridwright_bench: --runs must be at least 1\n";
      return 2;
    }
    fs::path folder = fs::temp_directory_path() / ("gridwright_curves_" + std::to_string(::getpid()));
    fs::create_directories(folder);
    int status = RunCurves(folder, runs);
    fs::remove_all(folder);
    return status;
  }
  if (settings.chapters < 1 || settings.tables < 1 || settings.rows < 1) {
    std::cerr << "gridwright_bench: counts must be at least 1\n";
    return 2;
  }
  fs::path folder = fs::temp_directory_path() / ("gridwright_bench_" + std::to_string(::getpid()));
  fs::create_directories(folder);

  // ---- Generate ----
  Clock::time_point start = Clock::now();
  std::uintmax_t totalBytes = 0;
  std::string book = "<Book 7.00>\n";
  for (int chapter = 1; chapter <= settings.chapters; ++chapter) {
    std::string name = "chapter" + std::to_string(chapter) + ".mif";
    std::string text = Chapter(chapter, settings);
    totalBytes += text.size();
    std::ofstream(folder / name, std::ios::binary) << text;
    book += "<BookComponent \n <FileName `<c\\>" + name + "'>\n> # end of BookComponent\n";
  }
  std::ofstream(folder / "book.book", std::ios::binary) << book;
  double megabytes = static_cast<double>(totalBytes) / (1024.0 * 1024.0);
  std::printf("book: %d chapters, %d tables of %d rows each, %.1f MB (%.2f MB a chapter), generated in %.2f s\n",
              settings.chapters, settings.tables, settings.rows, megabytes, megabytes / settings.chapters,
              Seconds(start));
  if (settings.generateOnly) {
    std::printf("book kept in %s\n", folder.c_str());
    return 0;
  }

  // ---- MIF parsing alone (the syntax tree, no model) ----
  {
    Clock::time_point parseStart = Clock::now();
    for (int chapter = 1; chapter <= settings.chapters; ++chapter) {
      gw::mif::Result<gw::mif::Document> tree =
          gw::mif::ReadFile((folder / ("chapter" + std::to_string(chapter) + ".mif")).string());
      if (!tree) {
        std::cerr << "parse failed: " << tree.ErrorMessage() << "\n";
        return 1;
      }
    }
    double seconds = Seconds(parseStart);
    std::printf("MIF parse (syntax tree only): %.1f MB/s (%.2f s)\n", megabytes / seconds, seconds);
  }

  // ---- MIF read and write through the store, one chapter at a time ----
  {
    gw::mif::MifFileStore store(gw::mif::HostPaths(folder, 'G'));
    double readSeconds = 0;
    double writeSeconds = 0;
    for (int chapter = 1; chapter <= settings.chapters; ++chapter) {
      std::string host = "G:\\chapter" + std::to_string(chapter) + ".mif";
      Clock::time_point readStart = Clock::now();
      gw::substitute::LoadResult loaded = store.Load(host);
      readSeconds += Seconds(readStart);
      auto* document = std::get_if<std::unique_ptr<gw::substitute::Document>>(&loaded);
      if (document == nullptr) {
        std::cerr << "load failed: " << std::get<gw::substitute::StoreError>(loaded).message << "\n";
        return 1;
      }
      Clock::time_point writeStart = Clock::now();
      if (auto error = store.Save(host, **document)) {
        std::cerr << "save failed: " << error->message << "\n";
        return 1;
      }
      writeSeconds += Seconds(writeStart);
      store.Forget((*document)->Id());
    }
    std::printf("MIF read (parse and model): %.1f MB/s (%.2f s)\n", megabytes / readSeconds, readSeconds);
    std::printf("MIF write (unchanged, atomic): %.1f MB/s (%.2f s)\n", megabytes / writeSeconds, writeSeconds);
    std::printf("peak memory so far: %ld MB\n", PeakMegabytes());
  }

  // ---- Whole-book commands ----
  const std::string bookPath = (folder / "book.book").string();
  struct Step {
    const char* label;
    std::vector<std::string> arguments;
  };
  const Step steps[] = {
      {"List Table Usage (book)", {"list-usage", "--no-progress", bookPath}},
      // Before the commands that change the book; --fail-on none so that findings exit 0.
      {"check (book)", {"check", "--fail-on", "none", bookPath}},
      {"Delete Unused Table Tags (book)", {"delete-unused", "--yes", "--no-progress", bookPath}},
      {"Remove Overrides (book)", {"remove-overrides", "--yes", "--no-progress", bookPath}},
  };
  // Each runs as its own process, as a user runs it: a long-lived process
  // that has done other work first keeps a larger, fragmented heap.
  const std::string gridwright = GridwrightProgram();
  int status = 0;
  for (const Step& step : steps) {
    ChildCost cost = RunChild(gridwright, step.arguments, 1);
    std::printf("%-34s %7.2f s  %6.1f MB/s  CPU %7.2f s  exit %d  peak memory %.0f MB\n", step.label,
                cost.wallSeconds, megabytes / cost.wallSeconds, cost.seconds, cost.exitCode, cost.peakMegabytes);
    if (cost.exitCode != 0) status = 1;
  }
  if (!settings.keep) {
    fs::remove_all(folder);
  } else {
    std::printf("book kept in %s\n", folder.c_str());
  }
  return status;
}
