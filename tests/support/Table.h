#pragma once
// The reader of the tables in tests/data/: long lists of inputs and expected outputs kept as
// data, one row a line, columns separated by tabs.
#include <string>
#include <vector>

namespace auttest {

using Row = std::vector<std::string>;

// The rows of tests/data/<name>. Blank lines and lines starting with "#" are skipped. In a
// cell, "\t", "\n", "\r", "\\", "\0" and "\xHH" stand for those bytes and "\u{H...}" for the
// code point's UTF-8, so that any text fits a cell. Throws std::runtime_error when the file
// cannot be read or a row has fewer than `columns` cells.
std::vector<Row> ReadTable(const std::string& name, std::size_t columns);

// Code points written in hex, separated by blanks: "48 E9 1F600" -> U"H\u00e9\U0001F600".
std::u32string CodePoints(const std::string& hex);

} // namespace auttest
