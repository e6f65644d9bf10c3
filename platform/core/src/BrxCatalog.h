#pragma once
// Message catalogs: the text format's reader (standard library only, so that a fuzzer can
// build it on its own), and the search for a catalog by name and locale.
// The format and the search order are described in messages/README.md.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace brxcatalog {

// Longer lines are rejected whole; larger files are not read (treated as absent).
constexpr std::size_t kMaxLineBytes = 64 * 1024;
constexpr std::size_t kMaxFileBytes = 16 * 1024 * 1024;

// One catalog as read: immutable once built, shared by every object that uses it.
struct Catalog {
    std::unordered_map<std::uint32_t, std::u32string> messages;
    std::size_t rejectedLines = 0; // malformed lines, skipped
    std::size_t duplicates = 0;    // later definitions of a number, ignored
    std::string source;            // the file's path (even when completed), or "built-in"
};

// Reads catalog text. Never fails: malformed lines are skipped and counted, the first
// definition of a number wins, malformed UTF-8 becomes U+FFFD byte by byte.
Catalog parseCatalog(const char* data, std::size_t size);

// ---- Search (BrxCatalogSearch.cpp) ---------------------------------------------------------

// "fr_CA.UTF-8" -> "fr-ca"; null or empty -> "en-us"; a name with other characters than
// letters, digits, '-' and '_' (before any '.' or '@') -> "" (only the catalog without locale).
std::string normalizeLocale(const char* locale);
// "fr-ca" -> {"fr-ca", "fr", ""}; "" -> {""}.
std::vector<std::string> localeChain(const std::string& normalizedLocale);
// The catalog name folded to lower case, or "" when it is not a bare name of letters, digits,
// '_' and '-' (at most 64 characters).
std::string foldCatalogName(const std::string& name);

// Reads the catalog `foldedName` for one locale level ("" = without locale): the file of the
// first directory that holds it, with each number it lacks taken from the built-in copy of the
// same level; the built-in copy alone when no directory holds it. Null when there is neither.
std::shared_ptr<const Catalog> loadCatalog(const std::string& foldedName,
                                           const std::string& localeLevel);

// Locale levels read so far, process-wide: one per loadCatalog that found a file or a built-in
// copy (a file completed from its built-in copy counts once).
long readCount();

// The catalogs in the order they are searched for one message (most specific locale first).
using Chain = std::vector<std::shared_ptr<const Catalog>>;
// The text of `number` in the first catalog of `chain` that has it, or null.
const std::u32string* findMessage(const Chain& chain, std::uint32_t number);

} // namespace brxcatalog
