// The watcher of a run carried out by workers, with scripted workers on a
// fake clock: which address each worker starts at, the line and the record
// row of a page whose worker stalled or died, and the run's exit code; and the
// worker's end of the channel.

#include <gtest/gtest.h>

#include <chrono>
#include <deque>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "cli/watcher.h"
#include "cli/worker_channel.h"
#include "platform/sim/sim_platform.h"
#include "record/picture_record.h"

namespace sorvane::testing {
namespace {

namespace fs = std::filesystem;

constexpr std::int32_t kTimeoutMs = 3000;
constexpr std::int64_t kSilenceMs = kTimeoutMs + cli::kWorkerGraceMs;

// How a scripted worker's run goes: its pages from its first address up to
// `at` go well, and at `at` it does what `fate` says.
enum class Fate {
  Finishes,
  StallsAt,
  EndsAt,
  ClosedAt,       // its window closed: it says so, and ends with 3
  ReportsLateAt,  // its page's report is in the pipe only as its silence runs out
  LongStepAt,     // it says a long step begins, and reports after more than the silence
  NeverComesUp,
  HangsAtEnd
};
struct Plan {
  Fate fate = Fate::Finishes;
  std::int32_t at = 0;
  std::int32_t missingAt = 0;  // this page's picture could not be saved
  int code = static_cast<int>(0xC0000005u);  // EndsAt: a crash unless told
};

struct World;

class ScriptedWorker final : public ChildProcess {
 public:
  ScriptedWorker(World& world, std::int32_t from, std::int32_t count, Plan plan);
  Read read(std::string& into, std::int32_t timeoutMs) override;
  void terminate() override;
  int exitCode() override { return terminated ? 1 : code; }

  bool terminated = false;

 private:
  struct Step {
    std::int64_t atMs;
    std::string bytes;
    bool late = false;  // missed by a read already waiting when it came
  };
  void say(std::int64_t& t, const std::string& bytes) { steps_.push_back({t += 400, bytes}); }
  World& world_;
  std::deque<Step> steps_;
  bool ends_ = true;  // after its last step; otherwise it falls silent
  int code = 0;
};

struct World {
  std::int64_t clockMs = 0;
  std::string out, err;
  std::int32_t count = 3;
  std::deque<Plan> plans;  // one per worker, in the order they start
  std::vector<std::int32_t> startedFrom;
  std::vector<std::int64_t> terminatedAtMs;  // when the watcher ended a worker

  cli::WatcherWorld world() {
    return {[this] { return clockMs; }, [] { return DateTime{46365.5}; },
            [this](platform::StandardStream s, const std::string& text) {
              (s == platform::StandardStream::Output ? out : err) += text;
            },
            [this](const std::vector<Text>& arguments) -> std::unique_ptr<ChildProcess> {
              if (plans.empty() || arguments.size() < 2 || arguments[0] != Text("--worker-from"))
                return nullptr;
              startedFrom.push_back(std::stoi(arguments[1].bytes()));
              auto worker = std::make_unique<ScriptedWorker>(*this, startedFrom.back(), count,
                                                             plans.front());
              plans.pop_front();
              return worker;
            }};
  }

  std::optional<int> run(bool record = false, const std::string& folder = {}) {
    cli::Preparation p;
    p.urls = TextArray{};
    for (int i = 1; i <= count; ++i) p.urls->push_back(Text("http://page/" + std::to_string(i)));
    p.start = p.exitWhenDone = true;
    p.pageTimeoutMs = kTimeoutMs;
    p.record = record;
    if (!folder.empty()) p.folder = Text(folder);
    return cli::watchWorkers(world(), p, {"--list", "list.txt"});
  }

  // How each line's page ended, in order.
  std::vector<std::string> ends() const {
    std::vector<std::string> words;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);)
      words.push_back(line.substr(line.find_last_of('\t') + 1));
    return words;
  }
};

ScriptedWorker::ScriptedWorker(World& world, std::int32_t from, std::int32_t count, Plan plan)
    : world_(world) {
  std::int64_t t = world.clockMs;
  if (plan.fate == Fate::NeverComesUp) {
    steps_.push_back({t + 2000, ""});
    code = -1;
    return;
  }
  say(t, "what the runtime wrote itself\nalive\n");
  for (std::int32_t i = from; i <= count; ++i) {
    const std::string url = "http://page/" + std::to_string(i);
    say(t, "page\t" + std::to_string(i) + "\t" + url + "\n");
    if (plan.at == i && plan.fate == Fate::StallsAt) {
      ends_ = false;
      return;
    }
    if (plan.at == i && (plan.fate == Fate::EndsAt || plan.fate == Fate::ClosedAt)) {
      if (plan.fate == Fate::ClosedAt) say(t, "closed\n");
      code = plan.fate == Fate::ClosedAt ? 3 : plan.code;
      return;
    }
    say(t, "alive\nrow\t" + std::to_string(i) + "\n");
    if (plan.at == i && plan.fate == Fate::LongStepAt) {
      say(t, "busy\n");
      t += kSilenceMs + 2000;
    }
    const bool missing = plan.missingAt == i;
    say(t, std::string(missing ? "err\tsorvane: not saved\n" : "") + "done\t" + std::to_string(i) +
               (missing ? "\t1" : "\t0") + "\t2026-12-09 12:00:00\t" + url + "\t" +
               (missing ? "-" : "p.jpg") + "\tloaded\n");
    if (plan.at == i && plan.fate == Fate::ReportsLateAt) {
      steps_.back().atMs = steps_[steps_.size() - 2].atMs + kSilenceMs - 1;
      steps_.back().late = true;
      ends_ = false;
      return;
    }
  }
  say(t, "end\n");
  if (plan.fate == Fate::HangsAtEnd) ends_ = false;
}

ChildProcess::Read ScriptedWorker::read(std::string& into, std::int32_t timeoutMs) {
  // Once it is ended, only what it wrote before is there to read.
  if (terminated && (steps_.empty() || steps_.front().atMs > world_.terminatedAtMs.back()))
    return Read::Ended;
  const std::int64_t seen = steps_.empty() || steps_.front().late ? 0 : timeoutMs;
  if (!steps_.empty() && steps_.front().atMs <= world_.clockMs + seen) {
    world_.clockMs = std::max(world_.clockMs, steps_.front().atMs);
    into += steps_.front().bytes;
    steps_.pop_front();
    return Read::Bytes;
  }
  if (steps_.empty() && ends_) return Read::Ended;
  world_.clockMs += timeoutMs;
  return Read::Quiet;
}

void ScriptedWorker::terminate() {
  terminated = true;
  world_.terminatedAtMs.push_back(world_.clockMs);
}

TEST(Watcher, RestartsAfterEachLostPageAndEndsWithTheRunsCode) {
  using E = std::vector<std::string>;
  struct Case {
    const char* name;
    std::vector<Plan> plans;
    E ends;
    std::vector<std::int32_t> startedFrom;
    std::optional<int> code;
    std::size_t ended;  // workers the watcher ended
  };
  const Case cases[] = {
      {"all well", {{}}, {"loaded", "loaded", "loaded"}, {1}, 0, 0},
      {"stalls on 2", {{Fate::StallsAt, 2}, {}}, {"loaded", "timeout", "loaded"}, {1, 3}, 0, 1},
      {"dies on 2", {{Fate::EndsAt, 2}, {}}, {"loaded", "failed", "loaded"}, {1, 3}, 0, 0},
      {"stalls on the last", {{Fate::StallsAt, 3}}, {"loaded", "loaded", "timeout"}, {1}, 0, 1},
      {"stalls, then dies", {{Fate::StallsAt, 1}, {Fate::EndsAt, 2}, {}},
       {"timeout", "failed", "loaded"}, {1, 2, 3}, 0, 1},
      {"missing picture before a restart", {{Fate::StallsAt, 3, 1}},
       {"loaded", "loaded", "timeout"}, {1}, 1, 1},
      {"window closed", {{Fate::ClosedAt, 2}}, {"loaded"}, {1}, 3, 0},
      {"ends with 3, saying nothing (an abort)", {{Fate::EndsAt, 2, 0, 3}, {}},
       {"loaded", "failed", "loaded"}, {1, 3}, 0, 0},
      {"its report is read before it is ended", {{Fate::ReportsLateAt, 2}, {}},
       {"loaded", "loaded", "timeout"}, {1}, 0, 1},
      {"a long step it announced", {{Fate::LongStepAt, 2}}, {"loaded", "loaded", "loaded"}, {1}, 0,
       0},
      {"never comes up", {{Fate::NeverComesUp}}, {}, {1}, -1, 0},
      {"hangs after its end", {{Fate::HangsAtEnd}}, {"loaded", "loaded", "loaded"}, {1}, 0, 1},
      {"cannot be started", {}, {}, {}, std::nullopt, 0},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    World w;
    w.plans.assign(c.plans.begin(), c.plans.end());
    EXPECT_EQ(w.run(), c.code);
    EXPECT_EQ(w.ends(), c.ends);
    EXPECT_EQ(w.startedFrom, c.startedFrom);
    // A worker is ended only after a silence longer than the page's time-out
    // and the grace, and then at once.
    EXPECT_EQ(w.terminatedAtMs.size(), c.ended);
    for (std::int64_t at : w.terminatedAtMs) EXPECT_GE(at, kSilenceMs);
  }
}

TEST(Watcher, ALostPageHasItsLineAndItsRowAfterTheWorkersRows) {
  const fs::path folder =
      fs::temp_directory_path() /
      ("sorvane-watcher-" +
       std::to_string(std::chrono::steady_clock::now().time_since_epoch().count()));
  fs::create_directories(folder);
  const std::string name = record::recordFileName().bytes();
  const fs::path csv = folder / std::u8string(name.begin(), name.end());
  // What the worker wrote before it stalled, its last row cut short by the kill.
  std::ofstream(csv, std::ios::binary)
      << record::recordHeader() << "2026-12-09 12:00:00,http://page/1,p.jpg,loaded,new\r\n"
      << "2026-12-09 12:00:05,http://pa";
  World w;
  w.plans = {{Fate::StallsAt, 2}, {}};
  EXPECT_EQ(w.run(true, folder.string()), 0);
  std::string rows;
  {
    std::ifstream in(csv, std::ios::binary);  // closed before the folder goes
    rows.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
  }
  EXPECT_EQ(rows, record::recordHeader() +
                      "2026-12-09 12:00:00,http://page/1,p.jpg,loaded,new\r\n"
                      "2026-12-09 12:00:00,http://page/2,,timeout,\r\n");
  EXPECT_NE(w.out.find("\thttp://page/2\t-\ttimeout\t-\n"), std::string::npos) << w.out;
  EXPECT_NE(w.err.find("http://page/2"), std::string::npos) << w.err;
  EXPECT_NE(w.err.find("what the runtime wrote itself\n"), std::string::npos) << w.err;
  fs::remove_all(folder);
}

TEST(WorkerChannel, TheWorkerFramesItsStreamsCountsFromItsFirstAddressAndEndsWithoutAReader) {
  sim::SimPlatform sim;
  std::string sent;
  bool reader = true;
  cli::WorkerLink link(sim, 4, [&](const std::string& bytes) {
    sent += bytes;
    return reader;
  });
  link.writeStandardStream(platform::StandardStream::Error, "one\r\ntwo\n");
  link.pageBegins(Text("http://a/\tb"));
  link.rowWritten();
  link.pageEnds(false, "t\thttp://a/ b\n");
  link.pageBegins(Text("http://c/"));
  link.pageEnds(true, "u");
  link.startSignsOfLife();
  sim.advance(cli::kSignOfLifeMs * 2);
  // A page held past its deadline gives no sign until the next one begins.
  link.pageHeld();
  sim.advance(cli::kSignOfLifeMs * 2);
  link.pageBegins(Text("http://d/"));
  sim.advance(cli::kSignOfLifeMs);
  link.windowClosed();
  EXPECT_EQ(sent,
            "err\tone\nerr\ttwo\npage\t4\thttp://a/ b\nrow\t4\ndone\t4\t0\tt\thttp://a/ b\n"
            "page\t5\thttp://c/\ndone\t5\t1\tu\nalive\nalive\nalive\npage\t6\thttp://d/\n"
            "alive\nclosed\n");
  reader = false;
  EXPECT_THROW(link.runDone(), sim::ProcessExit);
}

}  // namespace
}  // namespace sorvane::testing
