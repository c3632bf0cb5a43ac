// One SQLite database file, used from one thread at a time: the statements the program runs
// on it, each failure thrown with SQLite's code and text.
#ifndef SERVICE_SQLITE_DATABASE_H
#define SERVICE_SQLITE_DATABASE_H

#include <boost/filesystem/path.hpp>
#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>

struct sqlite3;
struct sqlite3_stmt;

class SqliteError : public std::runtime_error {
public:
    SqliteError(int code, const std::string& what) : std::runtime_error(what), code(code) {}

    // SQLite's primary result code (SQLITE_CORRUPT, SQLITE_FULL, ...).
    const int code;
    // The file is not a database, or SQLite found it damaged.
    bool damaged() const;
};

class SqliteDatabase {
public:
    // A prepared statement; its parameters are bound from 1 and its columns read from 0.
    class Statement {
    public:
        Statement(sqlite3* database, const std::string& sql);
        ~Statement();
        Statement(const Statement&) = delete;
        Statement& operator=(const Statement&) = delete;

        // Ends an earlier run and forgets its parameters.
        Statement& start();
        Statement& bind(int index, const std::string& text);
        Statement& bind(int index, int64_t number);
        Statement& bindNull(int index);
        // True while a row is there to read.
        bool step();
        // Runs it to the end and resets it.
        void run();
        std::string text(int column) const;
        int64_t number(int column) const;
        bool null(int column) const;

    private:
        void check(int result) const;

        sqlite3* database;
        sqlite3_stmt* statement = nullptr;
    };

    // Opens the file, creating it; throws SqliteError.
    explicit SqliteDatabase(const boost::filesystem::path& file);
    ~SqliteDatabase();
    SqliteDatabase(const SqliteDatabase&) = delete;
    SqliteDatabase& operator=(const SqliteDatabase&) = delete;

    // Statements without parameters or rows, separated by ";".
    void execute(const std::string& sql);
    // Throws SqliteError, damaged(), when SQLite finds the file damaged.
    void checkIntact();
    // The first column of the first row, for a PRAGMA's answer.
    std::string answer(const char* sql);
    sqlite3* handle() { return database; }

private:
    sqlite3* database = nullptr;
};

// Commits at its end unless an exception leaves first, which rolls back.
class SqliteTransaction {
public:
    explicit SqliteTransaction(SqliteDatabase& database);
    ~SqliteTransaction();
    void commit();

private:
    SqliteDatabase& database;
    bool open = true;
};

#endif
