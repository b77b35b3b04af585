// One open database connection, whatever engine is behind it.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "parameter.h"
#include "recordset.h"

namespace faq::data {

class Connection {
public:
    virtual ~Connection() = default;
    // Runs SQL text and discards any result.
    virtual void execute(const std::string& sql, int timeoutSeconds) = 0;
    // Runs SQL text and fetches its first result completely.
    virtual RecordsetPtr query(const std::string& sql, int timeoutSeconds) = 0;
    // Calls a stored procedure with cmd's parameters; output values are written back into
    // cmd.parameters. Returns the first result when wantResult, else nullptr.
    virtual RecordsetPtr callProcedure(Command& cmd, bool wantResult) = 0;
    virtual void beginTransaction() = 0;
    virtual void commitTransaction() = 0;
    virtual void rollbackTransaction() = 0;
    // Ends the connection; errors are reported by throwing.
    virtual void close() = 0;
    // Stops the statement running on another thread, at the server; it then fails with a
    // DbError whose failure() is Cancelled. A request made while no statement runs applies to the
    // next one, until clearCancel(). Safe from any thread.
    virtual void cancel() = 0;
    virtual void clearCancel() = 0;
};

// Opens a connection from a connection string. Errors are thrown as DbError.
using Connector = std::function<std::unique_ptr<Connection>(const std::string& connectionString)>;

// The driver the program's connection strings name.
inline constexpr const char* kDefaultDriver = "sql server";

// The ODBC driver manager, through the driver registered as `driver`: the connection
// string's DRIVER={sql server} then names it instead, the rest byte for byte as built.
Connector odbcConnector(const std::string& driver = kDefaultDriver);

// Whether `name` can stand between the braces of DRIVER={…} (no brace, no NUL, not blank).
bool isDriverName(const std::string& name);

}  // namespace faq::data
