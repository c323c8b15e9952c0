// nivora-scores-load: how many top-list reads and sends score servers answer
// on this machine, and proof that none of what they acknowledged is lost.
//
// It starts nivora-scores front ends of its own on 127.0.0.1 (the program
// beside this one) over one database, or uses running ones (--ports), and
// runs a bounded number of requests from C client threads, each on a new
// connection as the game makes them, sends and top-list reads in turn, until
// the count is done or the time limit passes. It reports requests per second
// and the median and 99th-percentile latency of each kind. Then it reads the
// whole table through the store and checks that every result a server
// acknowledged is there exactly once, and the store's integrity check.
// Every top list a server answered with 200 must be in rank order and hold at
// least the best result acknowledged before it was asked for; with several
// front ends, acknowledged a few seconds before (each front end answers from
// a top list in memory that it reads again every second, and keeps while the
// database is away).
//
//   nivora-scores-load [--clients C] [--requests N] [--seconds S] [--db DATABASE]
//                      [--fronts N | --ports P,P,...] [--compare POSTGRES-DATABASE]
//                      [--fault --restart-db COMMAND]
//
// --compare runs the same load three times: a fresh SQLite file with one front
// end, then the PostgreSQL database with one and with two. --fault (two or
// more front ends of its own) kills one front end with SIGKILL once a fifth
// of the sends are acknowledged, starts it again, runs COMMAND (which
// restarts the database server) once two fifths are, and demands
// acknowledged sends after that. Exit status 0 only when every check passes.
#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <limits>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <tuple>
#include <vector>

#include "server/form.h"
#include "server/http_client.h"
#include "server/score_store.h"

namespace {

using Clock = std::chrono::steady_clock;

struct TReply {
    int Status = 0; // 0: no answer (refused, reset, timed out)
    std::string Body;
};

// One request on a new connection to 127.0.0.1:port; reads and writes give up after ten seconds.
TReply Request(uint16_t port, const std::string& bytes) {
    const std::string answer = scores::http::Exchange("127.0.0.1", port, bytes, 10);
    TReply reply;
    if (!scores::http::HasHead(answer)) return reply;
    reply.Status = scores::http::StatusOf(answer);
    reply.Body = scores::http::BodyOf(answer);
    return reply;
}

using TKey = scores::http::TSentRow;

// A game's table of 20 results: one the run has not sent before, ranked among
// 19 every client sends, so sends from all clients overlap on the unique key.
std::vector<TKey> Table(const char* run, int client, int sequence) {
    std::vector<TKey> rows;
    const int32_t fresh = static_cast<int32_t>((client * 7919 + sequence * 104729) % 100000);
    char name[64];
    std::snprintf(name, sizeof name, "%s-%d-%d", run, client, sequence);
    rows.emplace_back(name, fresh, 7, sequence);
    for (int32_t rank = 1; rank < 20; ++rank) {
        std::snprintf(name, sizeof name, "%s-shared%d", run, static_cast<int>(rank));
        rows.emplace_back(name, 50000 - rank * 997, 3, rank);
    }
    std::sort(rows.begin(), rows.end(), [](const TKey& a, const TKey& b) { return std::get<1>(a) > std::get<1>(b); });
    return rows;
}

// The scores of a top-list reply in order; false when it is not one.
bool TopScores(const std::string& body, std::vector<int32_t>& ranked) {
    const std::optional<std::vector<scores::http::TTopRow>> rows = scores::http::ParseTopReply(body);
    if (!rows) return false;
    for (const scores::http::TTopRow& row : *rows) ranked.push_back(std::atoi(row.Score.c_str()));
    return true;
}

// A nivora-scores process of this run.
struct TFront {
    pid_t Pid = -1;
    std::atomic<uint16_t> Port{0};
};

bool StartFront(TFront& front, const std::string& program, const std::string& database) {
    int output[2];
    if (::pipe(output) != 0) return false;
    const pid_t child = ::fork();
    if (child == 0) {
        ::dup2(output[1], 1);
        ::close(output[0]);
        ::execl(program.c_str(), program.c_str(), "--address", "127.0.0.1", "--port", "0", "--db", database.c_str(),
                "--quiet", "--sends-per-minute", "0", "--connections-per-address", "0", static_cast<char*>(nullptr));
        ::_exit(127);
    }
    ::close(output[1]);
    FILE* lines = ::fdopen(output[0], "r");
    char line[512] = "";
    const bool got = lines && std::fgets(line, sizeof line, lines);
    if (lines) std::fclose(lines);
    const std::string banner = line;
    const size_t colon = banner.rfind(':');
    if (!got || colon == std::string::npos) {
        std::fprintf(stderr, "nivora-scores-load: a front end did not start\n");
        ::waitpid(child, nullptr, 0);
        return false;
    }
    front.Pid = child;
    front.Port = static_cast<uint16_t>(std::atoi(banner.c_str() + colon + 1));
    return true;
}

void StopFront(TFront& front, int signal) {
    if (front.Pid <= 0) return;
    ::kill(front.Pid, signal);
    ::waitpid(front.Pid, nullptr, 0);
    front.Pid = -1;
}

struct TSettings {
    int Clients = 8;
    int Requests = 2000; // of both kinds together
    int Seconds = 60;
    std::string Database;
    int Fronts = 1;
    std::vector<uint16_t> Ports;
    bool Fault = false;
    std::string RestartDatabase;
    std::string Program; // nivora-scores
};

struct TKind {
    std::vector<double> Milliseconds;
    int Failed = 0;
};

struct TOutcome {
    TKind Sends, Tops;
    double Seconds = 0;
    bool Ok = true;
};

double Percentile(std::vector<double>& values, double share) {
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const size_t index = std::min(values.size() - 1, static_cast<size_t>(share * static_cast<double>(values.size())));
    return values[index];
}

void Print(const char* store, size_t fronts, const char* kind, TKind& k, double seconds) {
    std::printf("%-10s %6zu  %-9s %8zu %7d %9.0f %9.2f %9.2f\n", store, fronts, kind, k.Milliseconds.size(), k.Failed,
                static_cast<double>(k.Milliseconds.size()) / seconds, Percentile(k.Milliseconds, 0.5),
                Percentile(k.Milliseconds, 0.99));
}

// One load run over settings.Database: front ends started (or found), client
// threads sending and reading in turn, the fault run's steps beside them, and
// then the table checked against what was acknowledged.
class TLoadRun {
public:
    explicit TLoadRun(const TSettings& settings)
        : settings(settings),
          fronts(settings.Ports.empty() ? static_cast<size_t>(settings.Fronts) : settings.Ports.size()),
          lag(fronts.size() > 1 ? std::chrono::seconds(5) : std::chrono::seconds(0)), faultsDone(!settings.Fault) {
        // Names of this run only, so a table that already holds results is checked as well.
        std::snprintf(run, sizeof run, "L%d-%lld", static_cast<int>(::getpid()),
                      static_cast<long long>(std::chrono::system_clock::now().time_since_epoch().count() % 1000000));
    }

    TOutcome Go() {
        if (!StartFronts()) {
            StopFronts();
            outcome.Ok = false;
            return outcome;
        }
        const auto start = Clock::now();
        deadline = start + std::chrono::seconds(settings.Seconds);
        std::vector<std::thread> clients;
        for (int c = 0; c < settings.Clients; ++c) clients.emplace_back([this, c] { Client(c); });
        if (settings.Fault) {
            if (!InjectFaults()) {
                std::fprintf(stderr, "nivora-scores-load: the fault run did not get through its steps\n");
                outcome.Ok = false;
            }
            faultsDone = true;
        }
        for (std::thread& client : clients) client.join();
        outcome.Seconds = std::chrono::duration<double>(Clock::now() - start).count();
        StopFronts();
        if (wrongTable) outcome.Ok = false;
        if (!EveryAcknowledgedResultStoredOnce()) outcome.Ok = false;
        return outcome;
    }

private:
    bool StartFronts() {
        if (!settings.Ports.empty()) {
            for (size_t i = 0; i < fronts.size(); ++i) fronts[i].Port = settings.Ports[i];
            return true;
        }
        for (TFront& front : fronts)
            if (!StartFront(front, settings.Program, settings.Database)) return false;
        return true;
    }

    void StopFronts() {
        for (TFront& front : fronts) StopFront(front, SIGTERM);
    }

    // A fault run goes on past the count until its faults are through (at
    // most four times the count).
    bool More(int i) const {
        return Clock::now() < deadline &&
               (i < settings.Requests || (!faultsDone.load() && i < 4 * settings.Requests));
    }

    // One client thread: sends and top-list reads in turn, each on a new connection.
    void Client(int c) {
        TKind sends, tops;
        std::vector<TKey> mine;
        int sequence = 0;
        bool resend = false; // a send that failed goes again, as the game would send it again
        std::vector<TKey> table;
        for (int i; More(i = next.fetch_add(1));) {
            const uint16_t port = fronts[static_cast<size_t>(i / 2) % fronts.size()].Port.load(); // both kinds to each
            const bool ok = i % 2 == 0 ? Send(port, c, sequence, resend, table, mine, sends) : ReadTop(port, tops);
            // A client waits a moment after a failure, as a person would.
            if (!ok) std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
        const std::lock_guard lock(merge);
        acknowledged.insert(acknowledged.end(), mine.begin(), mine.end());
        auto append = [](TKind& into, const TKind& from) {
            into.Milliseconds.insert(into.Milliseconds.end(), from.Milliseconds.begin(), from.Milliseconds.end());
            into.Failed += from.Failed;
        };
        append(outcome.Sends, sends);
        append(outcome.Tops, tops);
    }

    // Sends a table (a new one unless the last send failed); false when it was not acknowledged.
    bool Send(uint16_t port, int client, int& sequence, bool& resend, std::vector<TKey>& table,
              std::vector<TKey>& mine, TKind& sends) {
        const auto begin = Clock::now();
        if (!resend) table = Table(run, client, sequence++);
        const TReply reply = Request(port, scores::http::PostRequest("/saver.php", scores::http::SendBody(table)));
        sends.Milliseconds.push_back(std::chrono::duration<double, std::milli>(Clock::now() - begin).count());
        resend = reply.Status != 200;
        if (resend) {
            ++sends.Failed;
            return false;
        }
        mine.insert(mine.end(), table.begin(), table.end());
        {
            const std::lock_guard lock(ackedMutex);
            const int32_t best = std::max(bests.empty() ? -1 : bests.back().second, std::get<1>(table.front()));
            bests.emplace_back(Clock::now(), best);
        }
        ackedSends.fetch_add(1);
        return true;
    }

    // Reads the top list and checks it; false when it was not answered.
    bool ReadTop(uint16_t port, TKind& tops) {
        const auto begin = Clock::now();
        const int32_t bestBefore = BestAckedBy(begin - lag);
        const TReply reply = Request(port, scores::http::PostRequest("/top.php", "count=20"));
        tops.Milliseconds.push_back(std::chrono::duration<double, std::milli>(Clock::now() - begin).count());
        if (reply.Status != 200) {
            ++tops.Failed;
            return false;
        }
        std::vector<int32_t> scores;
        const bool wrong = !TopScores(reply.Body, scores) || !std::is_sorted(scores.rbegin(), scores.rend()) ||
                           (bestBefore >= 0 && (scores.empty() || scores.front() < bestBefore));
        if (wrong && !wrongTable.exchange(true))
            std::fprintf(stderr, "nivora-scores-load: a wrong top list with 200: %s\n", reply.Body.c_str());
        return true;
    }

    // The best result acknowledged by when: a top list must hold the best one
    // acknowledged at least `lag` before it was asked for. -1 when none was.
    int32_t BestAckedBy(Clock::time_point when) {
        const std::lock_guard lock(ackedMutex);
        for (auto it = bests.rbegin(); it != bests.rend(); ++it)
            if (it->first <= when) return it->second;
        return -1;
    }

    // Waits until count sends are acknowledged (or the run ends); whether they were.
    bool WaitForAcknowledged(int count) {
        while (ackedSends.load() < count && next.load() < 4 * settings.Requests && Clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        return ackedSends.load() >= count;
    }

    // The fault run's steps. They come at counts of acknowledged sends, not at
    // times, so a slow machine sees the same run, only longer.
    bool InjectFaults() {
        const int sends = settings.Requests / 2;
        if (!WaitForAcknowledged(sends / 5)) return false;
        std::printf("fault: SIGKILL front end on port %u after %d acknowledged sends\n",
                    static_cast<unsigned>(fronts[0].Port.load()), ackedSends.load());
        StopFront(fronts[0], SIGKILL);
        if (!StartFront(fronts[0], settings.Program, settings.Database) || !WaitForAcknowledged(2 * sends / 5))
            return false;
        std::printf("fault: restarting the database after %d acknowledged sends\n", ackedSends.load());
        std::fflush(stdout);
        if (std::system(settings.RestartDatabase.c_str()) != 0) return false;
        const int afterRestart = ackedSends.load();
        if (!WaitForAcknowledged(afterRestart + sends / 10)) return false;
        std::printf("fault: %d acknowledged sends after the database came back\n", ackedSends.load() - afterRestart);
        return true;
    }

    // Every acknowledged result once, read from the store itself, and the store's integrity.
    bool EveryAcknowledgedResultStoredOnce() {
        std::string error;
        const std::unique_ptr<scores::TScoreStore> store = scores::OpenScoreStore(settings.Database, error);
        std::optional<std::vector<scores::TResult>> table;
        if (store) table = store->Top(std::numeric_limits<int32_t>::max());
        if (!store || !table) {
            std::fprintf(stderr, "nivora-scores-load: cannot read the table: %s\n",
                         store ? store->LastError().c_str() : error.c_str());
            return false;
        }
        std::map<TKey, int> stored;
        for (const scores::TResult& result : *table) ++stored[{result.Name, result.Score, result.Level, result.Time}];
        std::sort(acknowledged.begin(), acknowledged.end());
        acknowledged.erase(std::unique(acknowledged.begin(), acknowledged.end()), acknowledged.end());
        size_t missing = 0, repeated = 0;
        for (const TKey& key : acknowledged) {
            const auto found = stored.find(key);
            if (found == stored.end()) ++missing;
            else if (found->second > 1) ++repeated;
        }
        const bool intact = store->IntegrityOk();
        std::printf("check: %zu acknowledged results, %zu missing, %zu more than once; table of %zu, integrity %s%s\n",
                    acknowledged.size(), missing, repeated, table->size(), intact ? "ok" : "FAILED",
                    wrongTable ? "; a wrong top list was served" : "");
        return !missing && !repeated && intact;
    }

    const TSettings& settings;
    std::vector<TFront> fronts;
    const std::chrono::seconds lag;
    char run[32];
    Clock::time_point deadline;
    std::atomic<int> next{0};
    std::atomic<int> ackedSends{0};
    std::mutex ackedMutex;
    std::vector<std::pair<Clock::time_point, int32_t>> bests; // under ackedMutex
    std::atomic<bool> wrongTable{false};
    std::atomic<bool> faultsDone;
    std::mutex merge;
    std::vector<TKey> acknowledged; // under merge
    TOutcome outcome;               // its kinds under merge
};

int Usage() {
    std::fprintf(stderr, "usage: nivora-scores-load [--clients C] [--requests N] [--seconds S] [--db DATABASE]\n"
                         "                          [--fronts N | --ports P,P,...] [--compare POSTGRES-DATABASE]\n"
                         "                          [--fault --restart-db COMMAND]\n");
    return 2;
}

} // namespace

int main(int argc, char** argv) {
    TSettings settings;
    std::string compare;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--fault") {
            settings.Fault = true;
            continue;
        }
        if (i + 1 >= argc) return Usage();
        const std::string value = argv[++i];
        const std::optional<int32_t> number = scores::ParseCount(value);
        if (option == "--clients" && number && *number > 0) settings.Clients = std::min(*number, 60);
        else if (option == "--requests" && number && *number > 0) settings.Requests = std::min(*number, 1000000);
        else if (option == "--seconds" && number && *number > 0) settings.Seconds = std::min(*number, 3600);
        else if (option == "--fronts" && number && *number > 0) settings.Fronts = std::min(*number, 16);
        else if (option == "--db") settings.Database = value;
        else if (option == "--compare" && scores::IsPostgresDatabase(value)) compare = value;
        else if (option == "--restart-db") settings.RestartDatabase = value;
        else if (option == "--ports") {
            for (size_t at = 0; at <= value.size();) {
                const size_t comma = std::min(value.find(',', at), value.size());
                const std::optional<int32_t> port = scores::ParseCount(value.substr(at, comma - at));
                if (!port || *port == 0 || *port > 65535) return Usage();
                settings.Ports.push_back(static_cast<uint16_t>(*port));
                at = comma + 1;
            }
        } else return Usage();
    }
    if (settings.Fault && (settings.Fronts < 2 || !settings.Ports.empty() || settings.RestartDatabase.empty() ||
                           !scores::IsPostgresDatabase(settings.Database)))
        return Usage(); // a fault run needs front ends of its own over PostgreSQL, and a way to restart it
    if (!settings.Ports.empty() && settings.Database.empty()) return Usage(); // the table to check
    std::signal(SIGPIPE, SIG_IGN);
    settings.Program = (std::filesystem::canonical("/proc/self/exe").parent_path() / "nivora-scores").string();

    const std::filesystem::path dir =
        std::filesystem::temp_directory_path() / ("nivora-scores-load-" + std::to_string(::getpid()));
    std::filesystem::create_directories(dir);
    const std::string sqlite = (dir / "load.db").string();
    std::vector<std::tuple<const char*, std::string, int>> runs;
    if (!compare.empty()) {
        runs = {{"sqlite", sqlite, 1}, {"postgresql", compare, 1}, {"postgresql", compare, 2}};
    } else {
        if (settings.Database.empty()) settings.Database = sqlite;
        runs = {{scores::IsPostgresDatabase(settings.Database) ? "postgresql" : "sqlite", settings.Database,
                 settings.Ports.empty() ? settings.Fronts : static_cast<int>(settings.Ports.size())}};
    }
    std::printf("%d clients, at most %d requests in %d s per run: sends of a 20-row table and top-20 reads in turn,\n"
                "a new connection each\n",
                settings.Clients, settings.Requests, settings.Seconds);
    bool ok = true;
    std::vector<std::pair<std::string, TOutcome>> outcomes;
    for (const auto& [store, database, fronts] : runs) {
        TSettings one = settings;
        one.Database = database;
        one.Fronts = fronts;
        outcomes.emplace_back(std::string(store) + " " + std::to_string(fronts), TLoadRun(one).Go());
        ok = ok && outcomes.back().second.Ok;
    }
    std::printf("%-10s %6s  %-9s %8s %7s %9s %9s %9s\n", "store", "fronts", "kind", "requests", "failed", "per s",
                "p50 ms", "p99 ms");
    for (size_t i = 0; i < runs.size(); ++i) {
        TOutcome& outcome = outcomes[i].second;
        const auto fronts = static_cast<size_t>(std::get<2>(runs[i]));
        Print(std::get<0>(runs[i]), fronts, "send", outcome.Sends, outcome.Seconds);
        Print(std::get<0>(runs[i]), fronts, "top", outcome.Tops, outcome.Seconds);
    }
    std::filesystem::remove_all(dir);
    std::fflush(stdout);
    std::printf("%s\n", ok ? "all checks passed" : "CHECKS FAILED");
    return ok ? 0 : 1;
}
