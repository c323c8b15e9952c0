// nivora-scores: serves a score table to the game and to browsers until
// interrupted (Ctrl+C or SIGTERM).
//
//   nivora-scores [--port N] [--address A] [--db FILE|postgresql://...] [--sends-per-minute N]
//                 [--connections-per-address N] [--timeout SECONDS] [--workers N] [--http-threads N]
//                 [--header-timeout SECONDS] [--min-body-rate BYTES]
//                 [--db-timeout MS] [--trusted-proxy ADDR]... [--verified-only] [--quiet]
//
// Without options it listens on port 8080 of every IPv6 and IPv4 address and keeps its table in
// nivora-scores.db in the current folder. With a PostgreSQL connection string
// several of them, on other ports or machines, serve one table.
#include <sys/resource.h>

#include <csignal>
#include <cstdio>
#include <cstring>
#include <string>

#include "server/form.h"
#include "server/score_server.h"

namespace {

int Usage() {
    std::fprintf(stderr,
                 "usage: nivora-scores [--port N] [--address A] [--db FILE|postgresql://...]\n"
                 "                     [--sends-per-minute N] [--connections-per-address N]\n"
                 "                     [--timeout SECONDS] [--header-timeout SECONDS]\n"
                 "                     [--min-body-rate BYTES] [--workers N] [--http-threads N]\n"
                 "                     [--db-timeout MS]\n"
                 "                     [--trusted-proxy ADDR]... [--verified-only] [--quiet]\n");
    return 2;
}

// The database as the banner shows it: a connection string without its user and password.
std::string Shown(const std::string& database) {
    if (!scores::IsPostgresDatabase(database)) return database;
    const size_t scheme = database.find("://") + 3;
    const size_t at = database.find('@', scheme);
    const size_t slash = database.find('/', scheme);
    if (at == std::string::npos || (slash != std::string::npos && slash < at)) return database;
    return database.substr(0, scheme) + "..." + database.substr(at);
}

} // namespace

int main(int argc, char** argv) {
    scores::TServerOptions options;
    for (int i = 1; i < argc; ++i) {
        const std::string option = argv[i];
        if (option == "--quiet") {
            options.Quiet = true;
            continue;
        }
        if (option == "--verified-only") {
            options.VerifiedOnly = true;
            continue;
        }
        if (i + 1 >= argc) return Usage();
        const std::string value = argv[++i];
        const std::optional<int32_t> number = scores::ParseCount(value);
        if (option == "--port" && number && *number <= 65535) {
            options.Port = static_cast<uint16_t>(*number);
        } else if (option == "--address") {
            options.Address = value;
        } else if (option == "--db") {
            options.Database = value;
        } else if (option == "--sends-per-minute" && number) {
            options.SendsPerMinute = *number;
        } else if (option == "--connections-per-address" && number) {
            options.ConnectionsPerAddress = static_cast<unsigned>(*number);
        } else if (option == "--timeout" && number && *number > 0) {
            options.TimeoutSeconds = static_cast<unsigned>(*number);
        } else if (option == "--header-timeout" && number && *number > 0) {
            options.HeaderSeconds = static_cast<unsigned>(*number);
        } else if (option == "--min-body-rate" && number) {
            options.MinBodyRate = static_cast<uint32_t>(*number);
        } else if (option == "--trusted-proxy") {
            options.TrustedProxies.push_back(value);
        } else if (option == "--workers" && number && *number > 0 && *number <= 64) {
            options.Workers = static_cast<unsigned>(*number);
        } else if (option == "--http-threads" && number && *number > 0 && *number <= 64) {
            options.HttpThreads = static_cast<unsigned>(*number);
        } else if (option == "--db-timeout" && number && *number > 0 && *number <= 600000) {
            options.Bounds.CallMs = *number;
        } else {
            return Usage();
        }
    }
    // Every open connection is a descriptor: take what the system allows.
    rlimit files{};
    if (::getrlimit(RLIMIT_NOFILE, &files) == 0 && files.rlim_cur < files.rlim_max) {
        files.rlim_cur = files.rlim_max;
        ::setrlimit(RLIMIT_NOFILE, &files);
    }
    // The server's thread inherits this mask, so the signals reach sigwait alone.
    sigset_t stop;
    sigemptyset(&stop);
    sigaddset(&stop, SIGINT);
    sigaddset(&stop, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stop, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    scores::TScoreServer server;
    if (!server.Start(options)) {
        std::fprintf(stderr, "nivora-scores: %s\n", server.LastError().c_str());
        return 1;
    }
    const std::string shownAddress = options.Address.empty()               ? "[::]"
                                     : options.Address.find(':') != std::string::npos ? "[" + options.Address + "]"
                                                                                      : options.Address;
    std::printf("nivora-scores: serving %s on http://%s:%u/\n", Shown(options.Database).c_str(), shownAddress.c_str(),
                static_cast<unsigned>(server.Port()));
    std::fflush(stdout);
    int received = 0;
    sigwait(&stop, &received);
    server.Stop();
    std::printf("nivora-scores: stopped\n");
    return 0;
}
