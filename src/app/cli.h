// The command line: which database the windows use, and the sub-commands.
#pragma once

#include <QString>
#include <QStringList>
#include <cstdint>
#include <optional>

namespace faq::app {

// The in-memory sample of --demo: small enough that the default query answers at once.
constexpr int kDemoCards = 500;
constexpr uint64_t kDemoSeed = 20261207;

struct EngineChoice {
    bool demo = false;
    QString sqliteFile;  // empty: not chosen
};

// Makes every connection of the process use the chosen engine: the embedded one for
// --demo and --sqlite FILE, the ODBC driver "sql server" otherwise.
void applyEngine(const EngineChoice& choice);

// Loads Qt's Chinese texts for the parts of the command line help that Qt writes.
void installChineseQtTexts();

// Parses the program's own options (arguments()[0] is the program). Returns an exit code
// when the process should end (help, bad arguments), or nullopt to start the windows.
std::optional<int> parseGuiArguments(const QStringList& arguments, EngineChoice* choice);

// faquery sample-db FILE [--cards N] [--seed S]
int runSampleDb(const QStringList& arguments);

}  // namespace faq::app
