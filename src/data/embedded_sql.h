// The program's statements in the form the embedded engine (SQLite with the dialect of
// sql_dialect.h) runs them: the same rows as the text shown and sent to a server, found in
// one pass over the cards. Any text that is not one of the program's statements comes back
// as it is.
#pragma once

#include <string>

struct sqlite3;

namespace faq::data {

// What a database file offers the summary's plan.
struct CardIndexes {
    // fa_Cards has an index leading with sCardNum and sCardID is unique (both under the
    // columns' own collations): a card's latest version is one seek away from any version.
    bool latestBySeek = false;
    // The connection answers the test itself: faq_latest(rowid, number, id) seeks for the
    // first cards and marks every card's latest version once a statement tests many.
    bool latestMarked = false;
    // An index leads with sAssetName bytewise, as the column itself compares: the asset
    // names' list steps from one name to the next by a seek.
    bool namesInOrder = false;
};

// Reads them off the database's schema; none when fa_Cards is missing or not a table.
CardIndexes readCardIndexes(sqlite3* db);

// The statement as the embedded engine runs it: withSqlServerComparisons, then
// decorrelateSummary, then plannedSummary; the asset names' list, where indexes.namesInOrder,
// as namesBySeek.
std::string embeddedStatement(const std::string& sql, const CardIndexes& indexes);

// The asset summary in a form SQLite evaluates in linear time. Its latest-card subquery
// filters on the outer row only (the dates name fa_Cards, not the alias fc), which SQL
// Server decorrelates and SQLite runs again for every outer row. Since
//   x IN (SELECT Max(fc.id) FROM fa_Cards fc WHERE c(outer) GROUP BY fc.num)
// holds exactly when c(outer) AND x IN (SELECT Max(fc.id) FROM fa_Cards fc GROUP BY fc.num)
// holds (a false or unknown c leaves no group at all), both halves of the program's own
// statement are rewritten so, and so is the one subquery of its card list (the cards
// behind the summary).
std::string decorrelateSummary(const std::string& sql);

// The decorrelated summary or card list planned for one pass over the cards:
// - the joins in the order SQLite can leave out: each RIGHT JOIN of the program's text is
//   the same LEFT JOIN the other way round, and a LEFT JOIN that adds no column and at most
//   one row per card (a unique key, as in the sample) is then not read at all;
// - a card's latest version tested only for the cards the criteria keep, by one seek
//   (indexes.latestBySeek), instead of gathering every card's latest version first;
// - the summary's cards selected once, for its groups and for its total alike, and its
//   DISTINCT dropped: its groups are distinct already (each shows its own date, and
//   department and name as they compare).
std::string plannedSummary(const std::string& decorrelated, const CardIndexes& indexes);

// The asset names' list read off an index in name order: a seek from each spelling to the
// next for the first kNameSeeks spellings (a sample's few dozen names are then a few dozen
// seeks, not a pass over every card), the rest in one ordered pass, as a file with a name
// for every card needs; then grouped under the collation as withSqlServerComparisons has it.
inline constexpr int kNameSeeks = 4096;
std::string namesBySeek(const std::string& withComparisons);

// The program's statements comparing texts as SQL Server's Chinese_PRC_CI_AS does (see
// sql_collation.h; LIKE follows it everywhere through the dialect's like()): the summary
// groups and matches names under that collation, the card list picks a summary row's
// cards under it, the asset-name list lists each name once (its spellings found first).
// Where a group holds several spellings of a name, it shows one of them, as SQL Server
// does: that of the group's last card in the engine's order (no aggregate picks it, which
// would cost a tenth of a whole period's time).
std::string withSqlServerComparisons(const std::string& sql);

}  // namespace faq::data
