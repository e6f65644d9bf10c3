#include "Table.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace auttest {

namespace {

void appendUtf8(std::string& out, unsigned long value) {
    if (value < 0x80) {
        out += static_cast<char>(value);
        return;
    }
    const int follow = value < 0x800 ? 1 : value < 0x10000 ? 2 : 3; // continuation bytes
    out += static_cast<char>((0xFF00 >> (follow + 1)) | (value >> (6 * follow)));
    for (int i = follow - 1; i >= 0; --i) {
        out += static_cast<char>(0x80 | ((value >> (6 * i)) & 0x3F));
    }
}

std::string unescape(const std::string& cell, const std::string& where) {
    std::string out;
    for (std::size_t i = 0; i < cell.size(); ++i) {
        if (cell[i] != '\\' || i + 1 == cell.size()) {
            out += cell[i];
            continue;
        }
        const char kind = cell[++i];
        switch (kind) {
        case 't':
            out += '\t';
            break;
        case 'n':
            out += '\n';
            break;
        case 'r':
            out += '\r';
            break;
        case '0':
            out += '\0';
            break;
        case '\\':
            out += '\\';
            break;
        case 'x':
            out += static_cast<char>(std::stoul(cell.substr(i + 1, 2), nullptr, 16));
            i += 2;
            break;
        case 'u': {
            const std::size_t close = cell.find('}', i);
            if (close == std::string::npos || cell[i + 1] != '{') {
                throw std::runtime_error(where + ": bad \\u{...} escape");
            }
            appendUtf8(out, std::stoul(cell.substr(i + 2, close - i - 2), nullptr, 16));
            i = close;
            break;
        }
        default:
            throw std::runtime_error(where + ": unknown escape \\" + kind);
        }
    }
    return out;
}

} // namespace

std::vector<Row> ReadTable(const std::string& name, std::size_t columns) {
    const std::string path = std::string(AUT_TEST_DATA_DIR) + "/" + name;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot read " + path);
    }
    std::vector<Row> rows;
    int number = 0;
    for (std::string line; std::getline(in, line);) {
        ++number;
        if (line.empty() || line[0] == '#') {
            continue;
        }
        const std::string where = path + ":" + std::to_string(number);
        Row row;
        for (std::size_t start = 0;;) {
            const std::size_t tab = line.find('\t', start);
            row.push_back(unescape(line.substr(start, tab - start), where));
            if (tab == std::string::npos) {
                break;
            }
            start = tab + 1;
        }
        if (row.size() < columns) {
            throw std::runtime_error(where + ": fewer than " + std::to_string(columns) + " cells");
        }
        rows.push_back(row);
    }
    return rows;
}

std::u32string CodePoints(const std::string& hex) {
    std::u32string out;
    std::istringstream in(hex);
    for (unsigned long c; in >> std::hex >> c;) {
        out += static_cast<char32_t>(c);
    }
    return out;
}

} // namespace auttest
