#include "service/sqlite_database.h"
#include <filesystem>
#include <sqlite3.h>

namespace {

[[noreturn]] void fail(sqlite3* database, int result) {
    throw SqliteError(result & 0xFF, database ? sqlite3_errmsg(database) : sqlite3_errstr(result));
}

} // namespace

bool SqliteError::damaged() const {
    return code == SQLITE_CORRUPT || code == SQLITE_NOTADB;
}

SqliteDatabase::Statement::Statement(sqlite3* database, const std::string& sql)
    : database(database) {
    check(sqlite3_prepare_v2(database, sql.c_str(), -1, &statement, nullptr));
}

SqliteDatabase::Statement::~Statement() {
    sqlite3_finalize(statement);
}

void SqliteDatabase::Statement::check(int result) const {
    if (result != SQLITE_OK) {
        fail(database, result);
    }
}

SqliteDatabase::Statement& SqliteDatabase::Statement::start() {
    sqlite3_reset(statement);
    sqlite3_clear_bindings(statement);
    return *this;
}

SqliteDatabase::Statement& SqliteDatabase::Statement::bind(int index, const std::string& text) {
    check(sqlite3_bind_text(statement, index, text.data(), static_cast<int>(text.size()),
                            SQLITE_TRANSIENT));
    return *this;
}

SqliteDatabase::Statement& SqliteDatabase::Statement::bind(int index, int64_t number) {
    check(sqlite3_bind_int64(statement, index, number));
    return *this;
}

SqliteDatabase::Statement& SqliteDatabase::Statement::bindNull(int index) {
    check(sqlite3_bind_null(statement, index));
    return *this;
}

bool SqliteDatabase::Statement::step() {
    const int result = sqlite3_step(statement);
    if (result == SQLITE_ROW) {
        return true;
    }
    sqlite3_reset(statement);
    if (result != SQLITE_DONE) {
        fail(database, result);
    }
    return false;
}

void SqliteDatabase::Statement::run() {
    while (step()) {
    }
}

std::string SqliteDatabase::Statement::text(int column) const {
    const auto* bytes = sqlite3_column_text(statement, column);
    return bytes ? std::string(reinterpret_cast<const char*>(bytes),
                               static_cast<std::size_t>(sqlite3_column_bytes(statement, column)))
                 : std::string();
}

int64_t SqliteDatabase::Statement::number(int column) const {
    return sqlite3_column_int64(statement, column);
}

bool SqliteDatabase::Statement::null(int column) const {
    return sqlite3_column_type(statement, column) == SQLITE_NULL;
}

// The name goes to SQLite in UTF-8 on every system.
SqliteDatabase::SqliteDatabase(const boost::filesystem::path& file) {
    const std::string name = std::filesystem::path(file.native()).u8string();
    const int result = sqlite3_open_v2(name.c_str(), &database,
                                       SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, nullptr);
    if (result != SQLITE_OK) {
        const SqliteError error(result & 0xFF, sqlite3_errmsg(database));
        sqlite3_close(database);
        throw error;
    }
    sqlite3_extended_result_codes(database, 0);
}

SqliteDatabase::~SqliteDatabase() {
    sqlite3_close_v2(database);
}

void SqliteDatabase::execute(const std::string& sql) {
    const int result = sqlite3_exec(database, sql.c_str(), nullptr, nullptr, nullptr);
    if (result != SQLITE_OK) {
        fail(database, result);
    }
}

std::string SqliteDatabase::answer(const char* sql) {
    Statement statement(database, sql);
    return statement.step() ? statement.text(0) : std::string();
}

void SqliteDatabase::checkIntact() {
    const std::string check = answer("PRAGMA quick_check");
    if (check != "ok") {
        throw SqliteError(SQLITE_CORRUPT, "damaged: " + check);
    }
}

SqliteTransaction::SqliteTransaction(SqliteDatabase& database) : database(database) {
    database.execute("BEGIN IMMEDIATE");
}

SqliteTransaction::~SqliteTransaction() {
    if (open) {
        // Nothing to tell beyond the failure already on its way to the caller.
        sqlite3_exec(database.handle(), "ROLLBACK", nullptr, nullptr, nullptr);
    }
}

void SqliteTransaction::commit() {
    database.execute("COMMIT");
    open = false;
}
