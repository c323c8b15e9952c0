// The server's tests on both stores: an SQLite file in the test's folder, and
// an empty database on the PostgreSQL server tests/server/with_postgres.sh
// starts for the program (NIVORA_TEST_PG). A program including this header is
// run whole under that script; without the server its PostgreSQL cases fail.
#pragma once

#include <libpq-fe.h>
#include <signal.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "tests/server/server_fixture.h"

namespace scorestest {

enum class TBackend { Sqlite, Postgres };

// Runs SQL on the test database; false with the reason added as a test failure.
inline bool PostgresExec(const std::string& conninfo, const std::string& sql) {
    PGconn* conn = PQconnectdb(conninfo.c_str());
    bool ok = PQstatus(conn) == CONNECTION_OK;
    if (ok) {
        PGresult* result = PQexec(conn, sql.c_str());
        ok = PQresultStatus(result) == PGRES_COMMAND_OK || PQresultStatus(result) == PGRES_TUPLES_OK;
        PQclear(result);
    }
    if (!ok) ADD_FAILURE() << sql << ": " << PQerrorMessage(conn);
    PQfinish(conn);
    return ok;
}

// The connection string of the test database, emptied of every table; empty (and a failure) without one.
inline std::string FreshPostgres() {
    const char* conninfo = std::getenv("NIVORA_TEST_PG");
    if (!conninfo || !*conninfo) {
        ADD_FAILURE() << "NIVORA_TEST_PG is not set: run the program under tests/server/with_postgres.sh";
        return {};
    }
    PostgresExec(conninfo, "SET client_min_messages = warning; DROP SCHEMA public CASCADE; CREATE SCHEMA public");
    return conninfo;
}

// Runs the cluster's pg_ctl with the given action ("stop -m fast", "start", "restart").
inline bool PostgresControl(const std::string& action) {
    const char* ctl = std::getenv("NIVORA_TEST_PG_CTL");
    if (!ctl || !*ctl) return false;
    return std::system((std::string(ctl) + " " + action + " >/dev/null").c_str()) == 0;
}

// Sends a signal to every process of the test cluster (the postmaster and its
// children): SIGSTOP makes a database that accepts connections and never
// answers, SIGCONT brings it back. False when the cluster is not found.
inline bool PostgresSignal(int signal) {
    const char* conninfo = std::getenv("NIVORA_TEST_PG");
    if (!conninfo) return false;
    const std::string text = conninfo;
    const size_t host = text.find("host=");
    if (host == std::string::npos) return false;
    const std::string dir = text.substr(host + 5, text.find('&', host) - host - 5);
    std::ifstream pidFile(dir + "/data/postmaster.pid");
    pid_t postmaster = 0;
    if (!(pidFile >> postmaster) || postmaster <= 0) return false;
    bool ok = ::kill(postmaster, signal) == 0;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        std::ifstream stat(entry.path() / "stat");
        std::string line;
        if (!std::getline(stat, line)) continue;
        // pid (comm) state ppid ...: the name may hold spaces, so read after its last ')'.
        std::istringstream rest(line.substr(line.rfind(')') + 1));
        char state = 0;
        pid_t parent = 0;
        if (rest >> state >> parent && parent == postmaster)
            ok = ::kill(static_cast<pid_t>(std::stoi(entry.path().filename().string())), signal) == 0 && ok;
    }
    return ok;
}

// ServerTest on each store in turn.
class BackendTest : public ServerTest, public ::testing::WithParamInterface<TBackend> {
protected:
    void SetUp() override {
        if (GetParam() == TBackend::Postgres) {
            database = FreshPostgres();
            ASSERT_FALSE(database.empty());
        }
        StartServer();
    }
};

inline std::string BackendName(const ::testing::TestParamInfo<TBackend>& info) {
    return info.param == TBackend::Sqlite ? "Sqlite" : "Postgres";
}

} // namespace scorestest

#define NIVORA_ON_BOTH_BACKENDS(suite)                                                                     \
    INSTANTIATE_TEST_SUITE_P(Backends, suite,                                                              \
                             ::testing::Values(scorestest::TBackend::Sqlite, scorestest::TBackend::Postgres), \
                             scorestest::BackendName)
