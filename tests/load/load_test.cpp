// dorvd under load through the real client library (libdorv32.so): many
// clients, each a process of its own with one connection and one thread (the
// library keeps at most four connections per process and takes one call at a
// time), all connected at once, each running a fixed number of queries: short
// selects, inserts into a table of its own, and 1,000-row reads of a shared
// table that no client writes. Every result is checked; a wrong or lost one
// fails the run.
//
//   load_test [--clients 100] [--queries 1000] [--mix 15:4:1] [--read-ahead 8]
//             [--database load] [--one-database | --temp-tables] [--shared-made]
//             [-- DORVD-OPTION...]
//
// Each client's table load_c<k> is in a database of its own of that name
// (the shared table in --database is opened second); --one-database puts
// them all into the shared table's database, --temp-tables makes them
// temporary tables of each client's session. --shared-made: an administrator
// has made the shared table with its rows beforehand (a server whose clients
// may not make tables in a shared database, as dorvd in front of
// PostgreSQL); it is only read back.
//
// Everything after "--" goes to dorvd as it stands, after the options this
// program gives it (--port, --data, --max-connections), e.g.
//   load_test -- --backend postgresql --pg "host=/tmp/x dbname=postgres"
// Only SQL that SQLite and PostgreSQL both accept is sent.
#include "client/include/dorv32.h"
#include "support/child_process.h"
#include "support/dorvd_process.h"
#include "support/proc_status.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

const char* const kSharedTable = "load_rows";
const int kSharedRows = 1000;
// Room beyond the clients: the set-up connection may still be closing when they connect.
const int kSpareConnections = 4;
// Problems a client describes on standard error; the rest are only counted.
const int kProblemsShown = 5;

enum class Kind { Short, Insert, Read };

struct Mix {
    int shorts = 15, inserts = 4, reads = 1;
    int cycle() const { return shorts + inserts + reads; }
    std::string text() const {
        return std::to_string(shorts) + ":" + std::to_string(inserts) + ":" + std::to_string(reads);
    }
};

bool parse_mix(const std::string& text, Mix* mix) {
    char tail = 0;
    if (sscanf(text.c_str(), "%d:%d:%d%c", &mix->shorts, &mix->inserts, &mix->reads, &tail) != 3)
        return false;
    return mix->shorts >= 0 && mix->inserts >= 0 && mix->reads >= 0 && mix->cycle() > 0 &&
           mix->cycle() <= 1000;
}

// One cycle of the mix with each kind spread evenly over it (always the kind
// furthest behind its share), so that no kind comes in one long run.
std::vector<Kind> mix_cycle(const Mix& mix) {
    const int shares[3] = {mix.shorts, mix.inserts, mix.reads};
    int done[3] = {0, 0, 0};
    std::vector<Kind> cycle;
    for (int slot = 1; slot <= mix.cycle(); ++slot) {
        int best = -1;
        double best_lag = 0;
        for (int k = 0; k < 3; ++k) {
            double lag = static_cast<double>(shares[k]) * slot / mix.cycle() - done[k];
            if (done[k] < shares[k] && (best < 0 || lag > best_lag)) {
                best = k;
                best_lag = lag;
            }
        }
        ++done[best];
        cycle.push_back(static_cast<Kind>(best));
    }
    return cycle;
}

// Query i of client k: the cycle starts at an offset per client so that the
// clients' 1,000-row reads do not all fall on the same moment.
Kind kind_of(const std::vector<Kind>& cycle, int client, long i) {
    return cycle[static_cast<size_t>((i + client) % static_cast<long>(cycle.size()))];
}

// The shared table: every value depends on its row number, so a row that
// is lost, repeated, out of place or another's is seen.
std::string shared_label(long id) {
    return "row " + std::to_string(id) + "/" + std::to_string(id * 7919 % 10007);
}
long shared_amount(long id) {
    return id * 37 % 1000 - 500;
}

// A client's table (and its database unless --one-database).
std::string client_table(int client) {
    return "load_c" + std::to_string(client);
}
std::string client_note(int client, long seq) {
    return "client " + std::to_string(client) + " row " + std::to_string(seq);
}

// Fields as hl_dorv_tfield gives them: the type character, then the text.
std::string number_field(long value) {
    return std::string("N").append(std::to_string(value));
}
std::string text_field(const std::string& text) {
    return std::string("S").append(text);
}

std::string join(const std::vector<std::string>& fields) {
    std::string out;
    for (const auto& f : fields)
        out += (out.empty() ? "" : " | ") + f;
    return out;
}

// Where each client's table is.
enum class Place { own_database, shared_database, temporary };

const char* place_word(Place place) {
    switch (place) {
    case Place::own_database:
        return "own";
    case Place::shared_database:
        return "one";
    case Place::temporary:
        return "temp";
    }
    return "own";
}

struct Tally {
    long queries = 0; // of the mix
    long rows = 0;    // value records read, the final read-back included
    long wrong = 0;   // answered, but not what was asked for
    long lost = 0;    // failed: an error status, or the connection broke
};

// One connection and the checks of what it answers.
class Connection {
  public:
    Connection(int number, Tally* tally) : number_(number), tally_(tally) {}
    ~Connection() {
        if (handle_ >= 0) hl_disconnect(handle_);
    }

    bool connect(const std::string& port) {
        char transport[] = "WINSOCK";
        handle_ = hl_connect(transport, "127.0.0.1", port.c_str(), 0);
        if (handle_ < 0) problem("cannot connect to port " + port);
        return handle_ >= 0;
    }

    // OPEN DATABASE of the names; where the first does not open, it is made as a
    // schema (databases of PostgreSQL; SQLite's are files made beforehand) and
    // opened again. Whether it was made goes to *created.
    bool open(const std::vector<std::string>& names, bool* created) {
        std::string statement = "OPEN DATABASE ";
        for (const auto& name : names)
            statement += (&name == &names.front() ? "'" : ", '") + name + "'";
        *created = false;
        const int status = run(statement);
        if (status == DORV_OK) return true;
        const std::string why = explain(status);
        if (run("create schema " + names.front()) != DORV_OK) {
            lost(statement, status, why); // the first failure is the one that tells
            return false;
        }
        *created = true;
        return exec(statement);
    }

    // Runs a statement that returns no rows; a failure counts as lost.
    bool exec(const std::string& statement) {
        const int status = run(statement);
        if (status == DORV_OK) return true;
        lost(statement, status);
        return false;
    }

    // Runs a query and checks that it answers exactly the expected rows.
    bool query(const std::string& statement, const std::vector<std::vector<std::string>>& rows) {
        const int status = run(statement);
        if (status != DORV_OK) {
            lost(statement, status);
            return false;
        }
        std::vector<std::string> fields;
        std::string mismatch;
        size_t read = 0;
        int got;
        while ((got = next_record(&fields)) == DORV_OK) {
            if (mismatch.empty() && (read >= rows.size() || fields != rows[read]))
                mismatch = "row " + std::to_string(read + 1) + " is [" + join(fields) +
                           "], expected " +
                           (read < rows.size() ? "[" + join(rows[read]) + "]" : "no further row");
            ++read;
        }
        tally_->rows += static_cast<long>(read);
        if (got != DORV_EOF) {
            lost(statement + " (after " + std::to_string(read) + " rows)", got);
            return false;
        }
        if (mismatch.empty() && read != rows.size())
            mismatch = std::to_string(read) + " rows, expected " + std::to_string(rows.size());
        if (!mismatch.empty()) {
            ++tally_->wrong;
            problem("wrong answer to \"" + statement + "\": " + mismatch);
            return false;
        }
        return true;
    }

    void problem(const std::string& text) {
        if (++problems_ <= kProblemsShown)
            fprintf(stderr, "load_test: client %d: %s\n", number_, text.c_str());
    }

  private:
    int run(std::string statement) { return hl_dorv_exec(handle_, statement.data()); }

    // The next row's fields with their type characters (a text's blank type as "S").
    int next_record(std::vector<std::string>* fields) {
        fields->clear();
        int status = hl_dorv_next_val(handle_);
        if (status != DORV_OK) return status;
        char field[1024];
        while ((status = hl_dorv_tfield(handle_, field, sizeof field)) == DORV_OK) {
            if (field[0] == ' ') field[0] = 'S';
            fields->push_back(field);
        }
        return status == DORV_EOF ? DORV_OK : status;
    }

    // The server's explanation of the last status, for the problems shown.
    std::string explain(int status) {
        char text[1024] = "";
        if (status > 0 && status != DORV_NO_STATUS && problems_ < kProblemsShown &&
            hl_dorv_explain(handle_, text, sizeof text, 0) == DORV_OK)
            return ": " + std::string(text);
        return "";
    }

    void lost(const std::string& statement, int status) {
        lost(statement, status, explain(status));
    }
    void lost(const std::string& statement, int status, const std::string& why) {
        ++tally_->lost;
        problem("status " + std::to_string(status) + " for \"" + statement + "\"" + why);
    }

    int number_;
    Tally* tally_;
    int handle_ = -1;
    int problems_ = 0;
};

std::vector<std::vector<std::string>> shared_rows() {
    std::vector<std::vector<std::string>> rows;
    for (long id = 1; id <= kSharedRows; ++id)
        rows.push_back(
            {number_field(id), text_field(shared_label(id)), number_field(shared_amount(id))});
    return rows;
}

std::string shared_read() {
    return std::string("select id, label, amount from ") + kSharedTable + " order by id";
}

// The database and its shared table, filled (unless made beforehand) and read back once.
bool prepare_shared(Connection& c, const std::string& database, bool made, bool* created) {
    // A server whose databases are not files (schemas of PostgreSQL) is asked to make it.
    if (!c.open({database}, created)) return false;
    if (made) return c.query(shared_read(), shared_rows());
    if (!c.exec(std::string("drop table if exists ") + kSharedTable) ||
        !c.exec(std::string("create table ") + kSharedTable +
                " (id integer primary key, label varchar(40) not null, amount integer not null)"))
        return false;
    // 25 rows to an INSERT: a statement may be at most 1018 bytes.
    for (long first = 1; first <= kSharedRows; first += 25) {
        std::string insert = std::string("insert into ") + kSharedTable + " values ";
        for (long id = first; id < first + 25 && id <= kSharedRows; ++id)
            insert += (id == first ? "(" : ", (") + std::to_string(id) + ", '" + shared_label(id) +
                      "', " + std::to_string(shared_amount(id)) + ")";
        if (!c.exec(insert)) return false;
    }
    return c.query(shared_read(), shared_rows());
}

// The child: one client, connected and ready, waits for SIGUSR1 and runs its
// queries. Its table is in a database of its own (named as the table, opened
// first so that the table lands there), in the shared database, or a
// temporary table of its session.
int run_client(const std::string& port, int number, long queries, const std::string& database,
               Place place, const Mix& mix) {
    Tally tally;
    Connection c(number, &tally);
    const std::string table = client_table(number);
    std::vector<std::string> databases = {database};
    if (place == Place::own_database) databases.insert(databases.begin(), table);
    bool created = false;
    const bool ready =
        c.connect(port) && c.open(databases, &created) && c.exec("drop table if exists " + table) &&
        c.exec(std::string(place == Place::temporary ? "create temp table " : "create table ") +
               table +
               " (seq integer primary key, client integer not null, note varchar(40) not null)");
    printf("%s\n", ready ? "ready" : "not ready");
    fflush(stdout);
    if (!ready) return 2;
    sigset_t go;
    sigemptyset(&go);
    sigaddset(&go, SIGUSR1);
    int signal_number = 0;
    sigwait(&go, &signal_number);

    const auto start = Clock::now();
    const std::vector<Kind> cycle = mix_cycle(mix);
    const std::vector<std::vector<std::string>> shared = shared_rows();
    const std::string count =
        "select count(*), coalesce(sum(seq), 0), " + std::to_string(number) + " from " + table;
    long inserted = 0;
    for (long i = 0; i < queries; ++i) {
        switch (kind_of(cycle, number, i)) {
        case Kind::Short:
            // What this client alone has inserted so far, and its own number.
            c.query(count, {{number_field(inserted), number_field(inserted * (inserted + 1) / 2),
                             number_field(number)}});
            break;
        case Kind::Insert:
            if (c.exec("insert into " + table + " (seq, client, note) values (" +
                       std::to_string(inserted + 1) + ", " + std::to_string(number) + ", '" +
                       client_note(number, inserted + 1) + "')"))
                ++inserted;
            break;
        case Kind::Read:
            c.query(shared_read(), shared);
            break;
        }
        ++tally.queries;
    }
    // The table holds exactly the rows this client inserted, and it goes again.
    std::vector<std::vector<std::string>> mine;
    for (long seq = 1; seq <= inserted; ++seq)
        mine.push_back(
            {number_field(seq), number_field(number), text_field(client_note(number, seq))});
    const bool kept = c.query("select seq, client, note from " + table + " order by seq", mine);
    const bool dropped =
        c.exec("drop table " + table) && (!created || c.exec("drop schema " + table));
    const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
    printf("client=%d queries=%ld rows=%ld wrong=%ld lost=%ld inserted=%ld kept=%d "
           "seconds=%.3f\n",
           number, tally.queries, tally.rows, tally.wrong, tally.lost, inserted, kept ? 1 : 0,
           seconds);
    fflush(stdout);
    return tally.wrong == 0 && tally.lost == 0 && kept && dropped ? 0 : 1;
}

// Reads one line from the child (byte by byte: the rest stays for collect_child).
std::string read_line(int fd) {
    std::string line;
    char ch;
    while (read(fd, &ch, 1) == 1 && ch != '\n')
        line += ch;
    return line;
}

struct Child {
    pid_t pid = -1;
    int fd = -1;
    bool ready = false;
};

void usage() {
    fprintf(stderr, "usage: load_test [--clients N] [--queries N] [--mix SHORT:INSERT:READ]\n"
                    "                 [--read-ahead N] [--database NAME]\n"
                    "                 [--one-database | --temp-tables] [--shared-made]\n"
                    "                 [-- DORVD-OPTION...]\n");
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 8 && strcmp(argv[1], "--child") == 0) {
        // Blocked before anything else, so that no thread takes the start signal.
        sigset_t go;
        sigemptyset(&go);
        sigaddset(&go, SIGUSR1);
        sigprocmask(SIG_BLOCK, &go, nullptr);
        Mix mix;
        if (!parse_mix(argv[7], &mix)) return 2;
        Place place = Place::own_database;
        if (strcmp(argv[6], "one") == 0) place = Place::shared_database;
        if (strcmp(argv[6], "temp") == 0) place = Place::temporary;
        return run_client(argv[2], atoi(argv[3]), atol(argv[4]), argv[5], place, mix);
    }

    int clients = 100;
    long queries = 1000;
    int read_ahead = 8;
    Mix mix;
    std::string database = "load";
    Place place = Place::own_database;
    bool shared_made = false;
    std::vector<std::string> server_options;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        const bool has_value = i + 1 < argc;
        if (a == "--") {
            server_options.assign(argv + i + 1, argv + argc);
            break;
        } else if (a == "--clients" && has_value) {
            clients = atoi(argv[++i]);
        } else if (a == "--queries" && has_value) {
            queries = atol(argv[++i]);
        } else if (a == "--read-ahead" && has_value) {
            read_ahead = atoi(argv[++i]);
        } else if (a == "--mix" && has_value && parse_mix(argv[i + 1], &mix)) {
            ++i;
        } else if (a == "--one-database" && place == Place::own_database) {
            place = Place::shared_database;
        } else if (a == "--temp-tables" && place == Place::own_database) {
            place = Place::temporary;
        } else if (a == "--shared-made") {
            shared_made = true;
        } else if (a == "--database" && has_value) {
            database = argv[++i];
        } else {
            usage();
            return 2;
        }
    }
    const bool name_ok =
        !database.empty() &&
        database.find_first_not_of("abcdefghijklmnopqrstuvwxyz0123456789_") == std::string::npos;
    if (clients < 1 || clients > 996 || queries < 0 || read_ahead < 0 || !name_ok) {
        usage();
        return 2;
    }

    std::vector<std::string> options = {"--max-connections",
                                        std::to_string(clients + kSpareConnections)};
    options.insert(options.end(), server_options.begin(), server_options.end());
    std::string options_text;
    for (const auto& o : options)
        options_text += " " + o;
    const std::vector<Kind> cycle = mix_cycle(mix);
    std::string pattern;
    for (Kind k : cycle)
        pattern += k == Kind::Short ? 's' : k == Kind::Insert ? 'i' : 'R';
    printf("load_test: %d clients x %ld queries, each client a process with one connection\n"
           "dorvd%s\n"
           "mix per client, in cycles of %d (%s): %d short selects of the client's own count, "
           "%d inserts into its own table, %d reads of all %d rows of the shared table; "
           "ReadAhead=%d\nclient k's table load_c<k>: %s\n",
           clients, queries, options_text.c_str(), mix.cycle(), pattern.c_str(), mix.shorts,
           mix.inserts, mix.reads, kSharedRows, read_ahead,
           place == Place::shared_database
               ? ("in database " + database + " with the shared table").c_str()
           : place == Place::temporary ? "a temporary table of its session"
                                       : "in database load_c<k> of its own");
    fflush(stdout);

    DorvdProcess server;
    const std::string log = "/tmp/load_test_dorvd_" + std::to_string(getpid()) + ".log";
    server.log_to(log);
    if (!server.start(options)) {
        fprintf(stderr, "load_test: dorvd did not start: %s (log %s)\n", server.error().c_str(),
                log.c_str());
        return 1;
    }
    const std::string port = server.service();
    bool shared_created = false;
    {
        Tally setup;
        Connection c(0, &setup);
        bool files = shared_made || server.make_empty_database(database);
        for (int k = 1; k <= clients && place == Place::own_database; ++k)
            files = files && server.make_empty_database(client_table(k));
        if (!files || !c.connect(port) ||
            !prepare_shared(c, database, shared_made, &shared_created)) {
            fprintf(stderr, "load_test: the shared table could not be made (log %s)\n",
                    log.c_str());
            return 1;
        }
    }

    const std::string ini_folder = make_ini_folder(read_ahead);
    if (ini_folder.empty()) {
        fprintf(stderr, "load_test: no folder for windorv.ini\n");
        return 1;
    }
    std::vector<Child> children(static_cast<size_t>(clients));
    for (int k = 1; k <= clients; ++k) {
        Child& child = children[static_cast<size_t>(k - 1)];
        child.pid = spawn_self({"--child", port, std::to_string(k), std::to_string(queries),
                                database, place_word(place), mix.text()},
                               ini_folder, &child.fd);
    }
    // Every client is connected with its table made before any starts.
    int ready = 0;
    for (auto& child : children)
        if (child.pid > 0 && read_line(child.fd) == "ready") {
            child.ready = true;
            ++ready;
        }
    const auto start = Clock::now();
    for (auto& child : children)
        if (child.ready) kill(child.pid, SIGUSR1);

    Tally total;
    int failed = clients - ready;
    for (int k = 1; k <= clients; ++k) {
        Child& child = children[static_cast<size_t>(k - 1)];
        if (child.pid <= 0) continue;
        int status = -1;
        const std::string out = collect_child(child.pid, child.fd, &status);
        if (!child.ready) continue;
        // A child that names another client's number has mixed something up too.
        const bool reported =
            word_value(out, "client") == std::to_string(k) && !word_value(out, "queries").empty();
        if (reported) {
            total.queries += atol(word_value(out, "queries").c_str());
            total.rows += atol(word_value(out, "rows").c_str());
            total.wrong += atol(word_value(out, "wrong").c_str());
            total.lost += atol(word_value(out, "lost").c_str());
        }
        if (!reported || status != 0) {
            ++failed;
            fprintf(stderr, "load_test: client %d failed (exit status %d): %s\n", k, status,
                    out.empty() ? "no report" : out.c_str());
        }
    }
    const double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
    const long peak_kb = proc_status_kb(server.pid(), "VmHWM");
    remove_folder(ini_folder);
    bool dropped = shared_made; // a table made beforehand is left as it is
    if (!shared_made) {
        // The shared table goes again (a PostgreSQL database outlives the server).
        Tally cleanup;
        Connection c(0, &cleanup);
        bool opened_created = false;
        dropped = c.connect(port) && c.open({database}, &opened_created) &&
                  c.exec(std::string("drop table ") + kSharedTable) &&
                  (!shared_created || c.exec("drop schema " + database));
    }
    server.stop();

    const bool ok = failed == 0 && dropped && total.wrong == 0 && total.lost == 0 &&
                    total.queries == static_cast<long>(clients) * queries;
    printf("clients        %d (%d failed)\n"
           "queries        %ld\n"
           "wrong results  %ld\n"
           "lost queries   %ld\n"
           "queries/s      %.0f\n"
           "rows/s         %.0f (%ld rows read)\n"
           "elapsed        %.2f s\n"
           "dorvd VmHWM    %ld kB\n"
           "%s\n",
           clients, failed, total.queries, total.wrong, total.lost, total.queries / elapsed,
           total.rows / elapsed, total.rows, elapsed, peak_kb,
           ok ? "load_test: passed" : "load_test: FAILED");
    if (ok) {
        unlink(log.c_str());
    } else {
        printf("dorvd's log: %s\n", log.c_str());
    }
    return ok ? 0 : 1;
}
