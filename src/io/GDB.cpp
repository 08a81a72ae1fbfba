// Table files: line grammar (REMARK, DATA, VARS, FORMAT, rows by word count), the
// column-format check, the queries and the writer; text helpers shared by other parsers.
#include "io/GDB.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string_view>
#include <vector>

#include "common/Fail.h"
#include "io/LineReader.h"
#include "io/RunFiles.h"

GDB::GDB(const std::string& fileName) { loadGDB(fileName); }

// ---------------------------------------------------------------- reading

namespace {

// The words of a line, separated by runs of white space (as split_WhiteSpace cuts them).
void splitWords(std::string_view line, std::vector<std::string_view>& words) {
    words.clear();
    size_t i = 0;
    const size_t n = line.size();
    while (i < n) {
        while (i < n && GDB::isSpace(line[i])) i++;
        if (i == n) break;
        size_t j = i;
        while (j < n && !GDB::isSpace(line[j])) j++;
        words.push_back(line.substr(i, j - i));
        i = j;
    }
}

}  // namespace

void GDBRows::clear(int columns) {
    columns_ = columns;
    text_.clear();
    start_.assign(1, 0);
    line_.clear();
}

void GDBRows::add(const std::string_view* words, int line) {
    line_.push_back(line);
    for (int i = 0; i < columns_; i++) {
        text_.append(words[i]);
        text_.push_back('\0');
        start_.push_back(text_.size());
    }
}

void GDB::loadGDB(const std::string& fileName) { load(fileName, nullptr); }

void GDB::loadGDB(const std::string& fileName, GDBRows& rows) { load(fileName, &rows); }

void GDB::load(const std::string& fileName, GDBRows* rows) {
    GDBfileName = fileName;
    if (rows) rows->clear(VarsNumber);
    // A directory opens on some systems but holds no lines: it is as missing as an absent file.
    // The file is closed also when a bad column format ends the run through an exit handler
    // that throws.
    const std::unique_ptr<FILE, int (*)(FILE*)> file(
        run_files::isDirectory(fileName) ? nullptr : std::fopen(fileName.c_str(), "rb"), std::fclose);
    if (!file) {
        std::fprintf(stderr, "\tCan't open file %s for reading\n", fileName.c_str());
        return;
    }
    run_files::noteRead(fileName);
    // A row's cells in the order of the row map: (column name, column index), the last column of
    // a repeated name winning as when the cells are set one by one.
    std::vector<std::pair<std::string, int>> cells;
    auto planCells = [&] {
        std::map<std::string, int> byName;
        for (int i = 0; i < VarsNumber; i++) byName[VARS[i]] = i;
        cells.assign(byName.begin(), byName.end());
    };
    planCells();

    LineReader lines(file.get());  // Windows line ends read like Unix ones
    std::string_view line;
    std::vector<std::string_view> words;
    int lineNumber = 0;
    while (lines.next(line)) {
        lineNumber++;
        if (line.empty()) continue;
        splitWords(line, words);
        if (words.empty()) continue;

        // A row is any line with as many words as there are columns once FORMAT has been seen;
        // there is no comment syntax.
        if (formatSeen_ && VarsNumber > 0 && static_cast<int>(words.size()) == VarsNumber) {
            if (rows) {
                rows->add(words.data(), lineNumber);
            } else {
                GDB_Entry row;
                for (const auto& cell : cells) row.emplace_hint(row.end(), cell.first, words[cell.second]);
                const int rowNum = Entries.empty() ? 1 : Entries.rbegin()->first + 1;
                Entries.emplace_hint(Entries.end(), rowNum, std::move(row));
            }
        }

        // The keyword texts are cut from the line as it starts at its keyword (the same as the raw
        // line unless the keyword is indented).
        const std::string_view first = words[0];
        const std::string_view body = line.substr(static_cast<size_t>(first.data() - line.data()));
        if (first == "REMARK") {
            if (body.size() > 6) REMARKS.emplace_back(body.substr(7));
        } else if (first == "DATA") {
            const std::string simplified = simplifyWhiteSpace(std::string(line));
            DATA.push_back(simplified.size() > 5 ? simplified.substr(5) : std::string());
        } else if (first == "VARS") {
            VARS_str = simplifyWhiteSpace(simplifyWhiteSpace(std::string(line)).substr(4));
            VARS_str_parser(VARS_str);
            planCells();
            if (rows) rows->clear(VarsNumber);
        } else if (first == "FORMAT") {
            FORMAT_str = std::string(body.substr(6));
            FORMAT_str_parser(FORMAT_str);
            if (rows) rows->clear(VarsNumber);
            formatSeen_ = true;
        }
    }
    buildResidList();
}

// Residue numbers for the letters of DATA SEQUENCE, counted from DATA FIRST_RESID (default 1).
void GDB::buildResidList() {
    const std::string seq = getData("SEQUENCE");
    const std::string first = getData("FIRST_RESID");
    firstResID = first.empty() ? 1 : static_cast<int>(std::strtol(first.c_str(), nullptr, 10));
    residList.clear();
    // Letters whose residue number would pass the largest int have no residue to go to.
    long long resid = firstResID;
    for (char c : seq) {
        if (c == ' ') continue;
        if (resid > INT_MAX) break;
        const bool known = (c >= 'A' && c <= 'Y') || c == '?' || c == 'c' || c == 'h' || c == 'p';
        residList[static_cast<int>(resid)] = known ? std::string(1, c) : std::string("X");
        resid++;
    }
}

void GDB::VARS_str_parser(const std::string& text) {
    VARS.clear();
    Entries.clear();
    const StringList names = split(' ', text);
    VarsNumber = static_cast<int>(names.size());
    for (int i = 0; i < VarsNumber; i++) VARS[i] = names[i];
}

void GDB::FORMAT_str_parser(const std::string& text) {
    FORMAT.clear();
    Entries.clear();
    // The leading blank keeps piece 0 non-empty, so piece i+1 is the text after the (i+1)-th '%'.
    const std::string prefixed = " " + text;
    const int count = contains(prefixed, '%');
    if (count != VarsNumber || count == 0) return;
    // one split for all columns: piece i+1 is what section(prefixed, '%', ., i+1, i+1) gives
    const StringList pieces = split('%', prefixed);
    for (int i = 0; i < VarsNumber; i++) {
        const size_t at = static_cast<size_t>(i) + 1;
        const char* piece = at < pieces.size() ? pieces[at].c_str() : "";
        std::snprintf(buf, sizeof buf, "%%%s", piece);  // one piece holds at most 99 characters
        const std::string conv = buf;
        if (!checkFormat(conv)) fail(0, "\tBad format syntax '" + conv + "'\n");
        FORMAT.emplace_hint(FORMAT.end(), i, conv);
    }
}

// Accepts % [-.0-9]* (d|f|s), surrounding white space ignored.
bool GDB::checkFormat(const std::string& piece) {
    const std::string t = simplifyWhiteSpace(piece);
    if (t.empty() || t[0] != '%' || contains(t, '%') != 1) return false;
    if (contains(t, 's') != 1 && contains(t, 'd') != 1 && contains(t, 'f') != 1) return false;
    const char last = t.back();
    if (last != 'd' && last != 'f' && last != 's') return false;
    for (size_t i = 0; i + 1 < t.size(); i++) {
        const char c = t[i];
        if (c != '%' && c != '-' && c != '.' && !isDigit(c)) return false;
    }
    return true;
}

// ---------------------------------------------------------------- queries

int GDB::getTabVar(const std::string& name) const {
    for (const auto& kv : VARS)
        if (kv.second == name) return kv.first;
    return -1;
}

int GDB::getCellColumn(const std::string& name) const {
    int column = -1;
    for (const auto& kv : VARS)
        if (kv.second == name) column = kv.first;
    return column;
}

std::string GDB::getData(const std::string& key) const {
    std::string result;
    for (const std::string& item : DATA) {
        const size_t blank = item.find(' ');
        const std::string word = item.substr(0, blank);
        if (word != key) continue;
        result += " ";
        if (blank != std::string::npos) result += item.substr(blank + 1);
    }
    return result;
}

int GDB::getEntryCount() const { return static_cast<int>(Entries.size()); }

GDB_Entry GDB::getEntry(int row) const {
    auto it = Entries.find(row);
    return it == Entries.end() ? EMPTY : it->second;
}

static bool cellEquals(const GDB_Entry& row, const std::string& name, const std::string& value) {
    auto it = row.find(name);
    return it != row.end() && it->second == value;
}

GDB_Entry GDB::getEntry(const std::string& name, const std::string& value, int n) const {
    if (n <= 0) return EMPTY;
    int seen = 0;
    for (const auto& kv : Entries)
        if (cellEquals(kv.second, name, value) && ++seen == n) return kv.second;
    return EMPTY;
}

GDB_Entry GDB::getEntry(const std::string& name1, const std::string& value1, const std::string& name2,
                        const std::string& value2, int n) const {
    if (n <= 0) return EMPTY;
    int seen = 0;
    for (const auto& kv : Entries)
        if (cellEquals(kv.second, name1, value1) && cellEquals(kv.second, name2, value2) && ++seen == n)
            return kv.second;
    return EMPTY;
}

std::string GDB::getResidName(int resid) const {
    auto it = residList.find(resid);
    return it == residList.end() ? std::string() : it->second;
}

static bool formatHoldsOne(const std::map<int, std::string>& formats, int i, char letter) {
    auto it = formats.find(i);
    return it != formats.end() && GDB::contains(it->second, letter) == 1;
}

bool GDB::isVarInt(int i) const { return formatHoldsOne(FORMAT, i, 'd'); }
bool GDB::isVarFloat(int i) const { return formatHoldsOne(FORMAT, i, 'f'); }
bool GDB::isVarString(int i) const { return formatHoldsOne(FORMAT, i, 's'); }

bool GDB::isVarInt(const std::string& name) const {
    const int i = getTabVar(name);
    return i >= 0 && isVarInt(i);
}
bool GDB::isVarFloat(const std::string& name) const {
    const int i = getTabVar(name);
    return i >= 0 && isVarFloat(i);
}
bool GDB::isVarString(const std::string& name) const {
    const int i = getTabVar(name);
    return i >= 0 && isVarString(i);
}

// ---------------------------------------------------------------- building and writing

static bool checkVariable(const std::string& name, const std::string& format) {
    if (!GDB::checkFormat(format)) {
        std::fprintf(stderr, "\tBad format syntax '%s'\n", format.c_str());
        return false;
    }
    if (name.find(' ') != std::string::npos) {
        // kept as users' scripts expect: the message spells "varible"
        std::fprintf(stderr, "\tInvalid varible name '%s' (with space)\n", name.c_str());
        return false;
    }
    return true;
}

void GDB::addVAR(const std::string& name, const std::string& format) {
    if (!checkVariable(name, format)) return;
    VARS[VarsNumber] = name;
    FORMAT[VarsNumber] = format;
    VarsNumber++;
}

void GDB::setVAR(int index, const std::string& name, const std::string& format) {
    if (index < 1 || index > VarsNumber) {
        std::fprintf(stderr, "\tPlease use number 1-%d as index for varible '%s' with format '%s'\n", VarsNumber,
                     name.c_str(), format.c_str());
        return;
    }
    if (!checkVariable(name, format)) return;
    VARS[index - 1] = name;
    FORMAT[index - 1] = format;
}

void GDB::setData(const std::string& key, const std::string& value) { DATA.push_back(key + " " + value); }

void GDB::addRemark(const std::string& text) { REMARKS.push_back(text); }

void GDB::setEntry(int row, const std::string& name, const std::string& value) { Entries[row][name] = value; }

void GDB::addEntry(const std::string& name, const std::string& value) {
    const int rowNum = Entries.empty() ? 1 : Entries.rbegin()->first + 1;
    Entries[rowNum][name] = value;
}

void GDB::presetClass(const std::string& className) {
    std::string vars, formats;
    if (className == "QUAVIR_SHIFT") {
        vars = "RESID RESNAME ATOMNAME SHIFT";
        formats = "%4d %1s %4s  %8.3f";
    } else if (className == "QUAVIR_PRED") {
        vars = "INDEX PHI PSI DIST W R1 R2 R3 SOURCE";
        formats = "%2d %9.3f %9.3f %8.3f %5.3f %-4s %-4s %-4s %s";
    } else {
        return;
    }
    ClassType = className;
    VARS_str = vars;
    VARS_str_parser(VARS_str);
    FORMAT_str = formats;
    FORMAT_str_parser(FORMAT_str);
}

void GDB::set_plaintext() { plain_text = true; }

void GDB::saveGDB(const std::string& fileName) {
    bool refused = false;
    FILE* out = run_files::openForWriting(fileName, "Table file", "nothing written", &refused);
    if (refused) return;
    if (!out) {
        std::fprintf(stderr, "\tCan't save file %s\n", fileName.c_str());
        return;
    }
    if (!plain_text) {
        for (const std::string& r : REMARKS) std::fprintf(out, "REMARK %s\n", r.c_str());
        std::fputs("\n", out);
        for (const std::string& item : DATA) {
            const size_t blank = item.find(' ');
            if (item.substr(0, blank) == "SEQUENCE") {
                const std::string seq =
                    blank == std::string::npos ? std::string() : simplifyWhiteSpace(item.substr(blank + 1));
                for (size_t pos = 0; pos < seq.size(); pos += 55)
                    std::fprintf(out, "DATA SEQUENCE %s\n", seq.substr(pos, 55).c_str());
            } else {
                std::fprintf(out, "DATA %s\n", item.c_str());
            }
        }
        std::fputs("VARS   ", out);
        for (const auto& kv : VARS) std::fprintf(out, "%s ", kv.second.c_str());
        std::fputs("\nFORMAT ", out);
        for (const auto& kv : FORMAT) std::fputs(kv.second.c_str(), out);
        std::fputs("\n", out);
    }
    for (const auto& kv : Entries) {
        const GDB_Entry& row = kv.second;
        if (static_cast<int>(row.size()) != VarsNumber) {
            auto remark = row.find("REMARK");
            std::fprintf(out, "# %s\n", remark == row.end() ? "" : remark->second.c_str());
            continue;
        }
        std::string text;
        for (int i = 0; i < VarsNumber; i++) {
            auto cellIt = row.find(VARS[i]);
            const std::string cell = cellIt == row.end() ? std::string() : cellIt->second;
            auto fmtIt = FORMAT.find(i);
            if (fmtIt == FORMAT.end()) {
                // no column formats (FORMAT did not match VARS): the cell as read, blank-separated
                text += cell + " ";
                continue;
            }
            const std::string fmt = fmtIt->second;
            const std::string trimmed = simplifyWhiteSpace(fmt);
            const char conv = trimmed.empty() ? 's' : trimmed.back();
            if (conv == 'd')
                std::snprintf(buf, sizeof buf, fmt.c_str(), static_cast<int>(std::strtol(cell.c_str(), nullptr, 10)));
            else if (conv == 'f')
                std::snprintf(buf, sizeof buf, fmt.c_str(), std::strtod(cell.c_str(), nullptr));
            else
                std::snprintf(buf, sizeof buf, fmt.c_str(), cell.c_str());
            text += buf;
        }
        std::fprintf(out, "%s\n", text.c_str());
    }
    std::fclose(out);
}

// ---------------------------------------------------------------- text helpers

bool GDB::isSpace(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

bool GDB::isDigit(char c) { return c >= '0' && c <= '9'; }

std::string GDB::simplifyWhiteSpace(const std::string& text) {
    std::string out;
    out.reserve(text.size());
    bool pendingBlank = false;
    for (char c : text) {
        if (isSpace(c)) {
            pendingBlank = !out.empty();
            continue;
        }
        if (pendingBlank) out += ' ';
        pendingBlank = false;
        out += c;
    }
    return out;
}

StringList GDB::split_WhiteSpace(const std::string& text) {
    StringList words;
    size_t i = 0;
    const size_t n = text.size();
    while (i < n) {
        while (i < n && isSpace(text[i])) i++;
        if (i == n) break;
        size_t j = i;
        while (j < n && !isSpace(text[j])) j++;
        words.push_back(text.substr(i, j - i));
        i = j;
    }
    if (words.empty()) words.push_back(std::string());
    return words;
}

StringList GDB::split(const std::string& sep, const std::string& text) {
    StringList pieces;
    if (sep.empty()) {
        if (!text.empty()) pieces.push_back(text);
        return pieces;
    }
    size_t start = 0;
    while (true) {
        const size_t hit = text.find(sep, start);
        const size_t end = hit == std::string::npos ? text.size() : hit;
        if (end > start) pieces.push_back(text.substr(start, end - start));
        if (hit == std::string::npos) break;
        start = hit + sep.size();
    }
    return pieces;
}

StringList GDB::split(char sep, const std::string& text) { return split(std::string(1, sep), text); }

std::string GDB::section(const std::string& text, char sep, std::string& buffer, int start, int end) {
    const StringList pieces = split(sep, text);
    buffer.clear();
    if (start < 0) start = 0;
    if (start > end || start >= static_cast<int>(pieces.size())) return buffer;
    if (end >= static_cast<int>(pieces.size())) end = static_cast<int>(pieces.size()) - 1;
    for (int i = start; i <= end; i++) {
        if (i > start) buffer += sep;
        buffer += pieces[i];
    }
    return buffer;
}

int GDB::contains(const std::string& text, const std::string& pattern) {
    if (pattern.empty()) return 0;
    int count = 0;
    for (size_t pos = text.find(pattern); pos != std::string::npos; pos = text.find(pattern, pos + 1)) count++;
    return count;
}

int GDB::contains(const std::string& text, char c) {
    int count = 0;
    for (char t : text)
        if (t == c) count++;
    return count;
}

std::string GDB::str_toupper(const std::string& text) {
    std::string out = text;
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

std::string GDB::itoa(int value, std::string& buffer, int /*radix: always decimal*/) {
    char tmp[16];
    std::snprintf(tmp, sizeof tmp, "%d", value);
    buffer = tmp;
    return buffer;
}

std::string GDB::ftoa(double value, std::string& buffer, char letter, int precision) {
    const bool known = letter == 'e' || letter == 'E' || letter == 'f' || letter == 'F' || letter == 'g' ||
                       letter == 'G';
    if (!known) letter = 'f';
    if (precision > 99) precision = 99;
    char fmt[16];
    if (precision < 0)
        std::snprintf(fmt, sizeof fmt, "%%l%c", letter);
    else
        std::snprintf(fmt, sizeof fmt, "%%.%dl%c", precision, letter);
    const int len = std::snprintf(nullptr, 0, fmt, value);
    std::string out(static_cast<size_t>(len > 0 ? len : 0) + 1, '\0');
    std::snprintf(&out[0], out.size(), fmt, value);
    out.resize(static_cast<size_t>(len > 0 ? len : 0));
    buffer = out;
    return buffer;
}
