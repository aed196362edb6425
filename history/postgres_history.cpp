#include "history/postgres_history.h"

#include <libpq-fe.h>
#include <poll.h>

#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstdlib>
#include <cstring>

namespace zor {
namespace {

using SteadyClock = std::chrono::steady_clock;

// The layouts, in order: the schema table holds how many of these the
// database has had. A new layout is a new entry at the end, never an edit
// of one that has shipped. "user" is a word of the server's own: quoted.
const std::vector<const char*>& migrations() {
    static const std::vector<const char*> steps = {
        // 1: one row per chronometer's run, from every bench of the centre.
        "CREATE TABLE runs ("
        " seq BIGSERIAL NOT NULL,"
        " run_id TEXT PRIMARY KEY NOT NULL,"
        " time TEXT NOT NULL,"
        " bench TEXT NOT NULL,"
        " \"user\" TEXT NOT NULL,"
        " program TEXT NOT NULL,"
        " version TEXT NOT NULL,"
        " position TEXT NOT NULL,"
        " port TEXT NOT NULL,"
        " device TEXT NOT NULL,"
        " identification TEXT NOT NULL,"
        " serial TEXT NOT NULL,"
        " file TEXT NOT NULL,"
        " file_id TEXT NOT NULL,"
        " file_sha256 TEXT NOT NULL,"
        " selected TEXT NOT NULL,"
        " table_read TEXT NOT NULL,"
        " table_planned TEXT,"
        " verdict TEXT NOT NULL,"
        " code INTEGER NOT NULL,"
        " meaning TEXT NOT NULL,"
        " dry_run BOOLEAN NOT NULL,"
        " last_answer TEXT NOT NULL,"
        " error TEXT NOT NULL,"
        " seconds DOUBLE PRECISION NOT NULL,"
        " bytes BIGINT NOT NULL,"
        " received TIMESTAMPTZ NOT NULL DEFAULT now());"
        "CREATE INDEX runs_by_serial ON runs(serial, time);"
        "CREATE INDEX runs_by_time ON runs(time);",
    };
    return steps;
}

// The lock every bench takes to bring the layout up to date: one at a time.
constexpr const char* LAYOUT_LOCK = "SELECT pg_advisory_xact_lock(7271350110)";

// The server's text on one line: libpq breaks its own with a line end and
// a tab, and the bench's messages are one line each.
std::string oneLine(const char* message) {
    std::string text;
    for (const char* c = message ? message : ""; *c; ++c) {
        if (*c == '\n' || *c == '\t' || *c == '\r') {
            if (!text.empty() && text.back() != ' ')
                text += ' ';
        } else {
            text += *c;
        }
    }
    while (!text.empty() && text.back() == ' ')
        text.pop_back();
    return text;
}

// A result, cleared with the object.
class Result {
  public:
    Result() = default;
    explicit Result(PGresult* r) : r_(r) {}
    ~Result() { PQclear(r_); }
    Result(Result&& o) noexcept : r_(o.r_) { o.r_ = nullptr; }
    Result& operator=(Result&& o) noexcept {
        std::swap(r_, o.r_);
        return *this;
    }
    PGresult* get() const { return r_; }
    bool ok() const {
        const ExecStatusType s = r_ ? PQresultStatus(r_) : PGRES_FATAL_ERROR;
        return s == PGRES_COMMAND_OK || s == PGRES_TUPLES_OK;
    }
    std::string message() const { return oneLine(r_ ? PQresultErrorMessage(r_) : ""); }

  private:
    PGresult* r_ = nullptr;
};

// Waits for the server's socket to be ready; false when the deadline
// passes or the program asks to stop first.
bool waitSocket(PGconn* conn, bool forWrite, SteadyClock::time_point deadline,
                const std::atomic<bool>* stop) {
    for (;;) {
        if (stop && stop->load())
            return false;
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - SteadyClock::now())
                .count();
        if (left <= 0)
            return false;
        pollfd fd{};
        fd.fd = PQsocket(conn);
        if (fd.fd < 0)
            return false;
        fd.events = forWrite ? POLLOUT : POLLIN;
        // In slices, so that a stop is seen soon.
        const int got = ::poll(&fd, 1, static_cast<int>(left < 100 ? left : 100));
        if (got > 0)
            return true;
        if (got < 0 && errno != EINTR)
            return false;
    }
}

std::string textOf(double value) {
    char buf[64];
    const auto end = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, end.ptr);
}

int latestSchemaVersion() {
    return static_cast<int>(migrations().size());
}

// Sends sql with params and waits for its results, within the deadline
// for an answer; the last result, or the first that failed. A server that
// does not answer in time, or a stop, costs the connection: it is closed.
Result execute(PGconn*& conn, const std::string& sql, const std::vector<std::string>& params,
               bool withParams, const std::atomic<bool>* stop, std::string& why) {
    why.clear();
    if (!conn || PQstatus(conn) != CONNECTION_OK) {
        why = "connection lost";
        return Result();
    }
    std::vector<const char*> values;
    std::vector<int> lengths;
    for (const std::string& p : params) {
        values.push_back(p.c_str());
        lengths.push_back(static_cast<int>(p.size()));
    }
    const int sent = withParams
                         ? PQsendQueryParams(conn, sql.c_str(), static_cast<int>(params.size()),
                                             nullptr, values.data(), lengths.data(), nullptr, 0)
                         : PQsendQuery(conn, sql.c_str());
    const SteadyClock::time_point deadline =
        SteadyClock::now() + std::chrono::milliseconds(PostgresHistory::ANSWER_TIMEOUT_MS);
    bool gaveUp = !sent;
    if (!gaveUp)
        why.clear();
    int flushing;
    while (!gaveUp && (flushing = PQflush(conn)) != 0) {
        if (flushing < 0 || !waitSocket(conn, true, deadline, stop))
            gaveUp = true;
    }
    while (!gaveUp && PQisBusy(conn)) {
        if (!waitSocket(conn, false, deadline, stop) || !PQconsumeInput(conn))
            gaveUp = true;
    }
    if (gaveUp) {
        why = oneLine(PQerrorMessage(conn));
        if (why.empty() || PQstatus(conn) == CONNECTION_OK)
            why = stop && stop->load() ? "stopped" : "no answer from the server";
        PQfinish(conn);
        conn = nullptr;
        return Result();
    }
    Result last, failed;
    while (PGresult* r = PQgetResult(conn)) {
        Result got(r);
        if (!got.ok() && !failed.get())
            failed = std::move(got);
        else
            last = std::move(got);
        // Each result may be followed by more; wait for them as for the first.
        while (PQisBusy(conn)) {
            if (!waitSocket(conn, false, deadline, stop) || !PQconsumeInput(conn)) {
                why = "no answer from the server";
                PQfinish(conn);
                conn = nullptr;
                return Result();
            }
        }
    }
    if (failed.get()) {
        why = failed.message();
        return failed;
    }
    return last;
}

}  // namespace

HistoryResult PostgresHistory::failure(HistoryFault fault, const std::string& why) const {
    HistoryResult r;
    r.fault = fault;
    if (!why.empty()) {
        r.message = why;
    } else if (conn_) {
        r.message = oneLine(PQerrorMessage(conn_));
    }
    if (r.message.empty())
        r.message = "connection lost";
    return r;
}

int PostgresHistory::latestSchema() {
    return latestSchemaVersion();
}

std::unique_ptr<PostgresHistory> PostgresHistory::open(const std::string& url,
                                                       HistoryResult& result,
                                                       const std::atomic<bool>* stop) {
    result = HistoryResult();
    const std::string timeout = std::to_string(CONNECT_TIMEOUT_S);
    const std::string userTimeout = std::to_string(ANSWER_TIMEOUT_MS);
    // The address's own settings come after ours and win; the waits are
    // this program's whatever the address says.
    const char* keys[] = {"connect_timeout",  "tcp_user_timeout", "keepalives_idle",
                          "application_name", "dbname",           nullptr};
    const char* values[] = {timeout.c_str(), userTimeout.c_str(), "10",
                            "zorload",       url.c_str(),         nullptr};
    PGconn* conn = PQconnectStartParams(keys, values, 1);
    std::unique_ptr<PostgresHistory> history(new PostgresHistory(conn, stop));
    if (!conn) {
        result = history->failure(HistoryFault::CannotOpen, "out of memory");
        return nullptr;
    }
    const SteadyClock::time_point deadline =
        SteadyClock::now() + std::chrono::seconds(CONNECT_TIMEOUT_S);
    PostgresPollingStatusType polling = PGRES_POLLING_WRITING;
    while (PQstatus(conn) != CONNECTION_BAD && polling != PGRES_POLLING_OK &&
           polling != PGRES_POLLING_FAILED) {
        if (!waitSocket(conn, polling == PGRES_POLLING_WRITING, deadline, stop)) {
            result =
                history->failure(HistoryFault::CannotOpen,
                                 stop && stop->load() ? "stopped" : "no answer from the server");
            return nullptr;
        }
        polling = PQconnectPoll(conn);
    }
    if (PQstatus(conn) != CONNECTION_OK) {
        result = history->failure(HistoryFault::CannotOpen);
        return nullptr;
    }
    PQsetnonblocking(conn, 1);
    // The server's notices ("already exists, skipping") are not the
    // bench's business: none on the terminal.
    PQsetNoticeProcessor(
        conn, [](void*, const char*) {}, nullptr);
    result = history->migrate();
    if (!result)
        return nullptr;
    return history;
}

PostgresHistory::~PostgresHistory() {
    if (conn_)
        PQfinish(conn_);
}

bool PostgresHistory::connected() const {
    return conn_ && PQstatus(conn_) == CONNECTION_OK;
}

HistoryResult PostgresHistory::migrate() {
    std::string why;
    // One bench at a time brings the layout up to date: a second bench
    // connecting to a new database waits for the lock, then finds it done.
    Result begun = execute(conn_,
                           std::string("BEGIN; ") + LAYOUT_LOCK +
                               "; CREATE TABLE IF NOT EXISTS zorload_schema"
                               " (version INTEGER NOT NULL)",
                           {}, false, stop_, why);
    HistoryResult result;
    int version = -1;
    if (begun.ok()) {
        Result read = execute(conn_, "SELECT coalesce(max(version), 0) FROM zorload_schema", {},
                              false, stop_, why);
        if (read.ok() && PQntuples(read.get()) == 1)
            version = std::atoi(PQgetvalue(read.get(), 0, 0));
    }
    if (version < 0) {
        result = failure(HistoryFault::CannotOpen, why);
    } else if (version > latestSchema()) {
        result.fault = HistoryFault::NewerSchema;
        result.schemaVersion = version;
    } else if (version < latestSchema()) {
        for (int step = version; result && step < latestSchema(); ++step) {
            if (!execute(conn_, migrations()[static_cast<size_t>(step)], {}, false, stop_, why)
                     .ok())
                result = failure(HistoryFault::CannotOpen, why);
        }
        if (result && !execute(conn_,
                               "DELETE FROM zorload_schema; INSERT INTO zorload_schema VALUES (" +
                                   std::to_string(latestSchema()) + ")",
                               {}, false, stop_, why)
                           .ok())
            result = failure(HistoryFault::CannotOpen, why);
    }
    if (result && !execute(conn_, "COMMIT", {}, false, stop_, why).ok())
        result = failure(HistoryFault::CannotOpen, why);
    if (!result && conn_)
        execute(conn_, "ROLLBACK", {}, false, stop_, why);
    schema_ = result ? latestSchema() : version;
    result.schemaVersion = schema_ < 0 ? 0 : schema_;
    return result;
}

HistoryResult PostgresHistory::store(const HistoryRun& run) {
    std::vector<std::string> p;
    for (const std::string* text : textColumns(run))
        p.push_back(*text);
    for (const std::string& more :
         {std::to_string(run.code), run.meaning, std::string(run.dryRun ? "t" : "f"),
          run.lastAnswer, run.error, textOf(run.seconds), std::to_string(run.bytes)})
        p.push_back(more);
    // A run without a plan has no planned table: NULL, as the bench's file
    // keeps it.
    const std::string sql =
        std::string("INSERT INTO runs (") + HISTORY_COLUMNS +
        ") VALUES ($1, $2, $3, $4, $5, $6, $7, $8, $9, $10, $11, $12, $13, $14, $15, $16,"
        " NULLIF($17, ''), $18, $19, $20, $21, $22, $23, $24, $25)"
        " ON CONFLICT (run_id) DO NOTHING";
    std::string why;
    Result done = execute(conn_, sql, p, true, stop_, why);
    if (!done.ok())
        return failure(HistoryFault::CannotWrite, why);
    HistoryResult result;
    result.added = std::strcmp(PQcmdTuples(done.get()), "1") == 0;
    return result;
}

HistoryResult PostgresHistory::query(const HistoryFilter& filter, std::vector<HistoryRun>& rows) {
    std::string sql = std::string("SELECT ") + HISTORY_COLUMNS + " FROM runs WHERE true";
    std::vector<std::string> values;
    auto where = [&](const char* column, const char* op, const std::string& value) {
        values.push_back(value);
        sql += std::string(" AND ") + column + op + "$" + std::to_string(values.size());
    };
    if (!filter.serial.empty())
        where("serial", " = ", filter.serial);
    if (!filter.bench.empty())
        where("bench", " = ", filter.bench);
    if (!filter.since.empty())
        where("time", " >= ", filter.since);
    if (!filter.until.empty())
        where("time", " <= ", filter.until);
    if (filter.failedOnly)
        sql += " AND code != 0";
    if (filter.doneOnly)
        sql += " AND meaning = 'done' AND NOT dry_run";
    sql += filter.newestFirst ? " ORDER BY time DESC, seq DESC" : " ORDER BY time, seq";
    if (filter.limit > 0)
        sql += " LIMIT " + std::to_string(filter.limit);
    std::string why;
    Result read = execute(conn_, sql, values, true, stop_, why);
    if (!read.ok())
        return failure(HistoryFault::CannotRead, why);
    PGresult* r = read.get();
    const int count = PQntuples(r);
    for (int row = 0; row < count; ++row) {
        HistoryRun run;
        int at = 0;
        auto text = [&]() {
            const int column = at++;
            return std::string(PQgetvalue(r, row, column),
                               static_cast<size_t>(PQgetlength(r, row, column)));
        };
        for (std::string* field : textColumns(run))
            *field = text();
        run.code = std::atoi(text().c_str());
        run.meaning = text();
        run.dryRun = text() == "t";
        run.lastAnswer = text();
        run.error = text();
        const std::string seconds = text();
        std::from_chars(seconds.data(), seconds.data() + seconds.size(), run.seconds);
        const std::string bytes = text();
        std::from_chars(bytes.data(), bytes.data() + bytes.size(), run.bytes);
        rows.push_back(std::move(run));
    }
    return HistoryResult();
}

}  // namespace zor
