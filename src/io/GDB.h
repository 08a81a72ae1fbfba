// Reader and writer of the program's REMARK/DATA/VARS/FORMAT text tables, plus the
// small text helpers (white-space simplification, splitting) the other parsers share.
#pragma once

#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "common/Types.h"

// The data rows of a table with their cells in column order, all texts in one buffer: for a
// reader that looks its columns up once instead of by name in every row (see GDB::loadGDB).
class GDBRows {
public:
    int rowCount() const { return columns_ > 0 ? static_cast<int>((start_.size() - 1) / columns_) : 0; }
    // The line of the file (from 1) that holds row `row` (from 1).
    int line(int row) const { return line_[static_cast<size_t>(row - 1)]; }
    // The text of row `row` (from 1) in column `column` (0-based), followed in memory by a NUL so
    // that the C conversions can read it; empty text for a column outside the table (such as
    // getCellColumn's -1).
    std::string_view cell(int row, int column) const {
        if (column < 0 || column >= columns_) return std::string_view("", 0);
        const size_t k = static_cast<size_t>(row - 1) * columns_ + column;
        return std::string_view(text_.data() + start_[k], start_[k + 1] - start_[k] - 1);
    }

private:
    friend class GDB;
    void clear(int columns);
    void add(const std::string_view* words, int line);
    int columns_ = 0;
    std::vector<int> line_;       // the file line of each row
    std::string text_;            // every cell followed by a NUL
    std::vector<size_t> start_;   // the position of each cell in text_, row by row, and the end
};

class GDB {
public:
    std::string ClassType;           // name of the preset class installed by presetClass, else empty
    bool plain_text = false;         // saveGDB writes the data rows only
    char buf[100] = {};              // one formatted cell or one format piece (at most 99 characters)
    std::string GDBfileName;         // file last loaded
    std::string FORMAT_str;          // FORMAT line after its keyword
    std::string VARS_str;            // VARS line after its keyword, white space simplified
    int VarsNumber = 0;              // number of columns
    int firstResID = 1;              // residue number of the first SEQUENCE letter
    GDB_Entry EMPTY;                 // returned by failed row lookups
    std::map<int, std::string> residList;  // residue number -> one-letter code (DATA SEQUENCE)
    StringList REMARKS;              // remark texts in file order
    StringList DATA;                 // DATA lines without the keyword, in file order
    std::map<int, std::string> VARS;    // column index (0-based) -> column name
    std::map<int, std::string> FORMAT;  // column index (0-based) -> printf conversion ("%4d ")
    std::map<int, GDB_Entry> Entries;   // row number (from 1) -> row

    GDB() = default;
    explicit GDB(const std::string& fileName);

    // ---- reading and queries ----
    void loadGDB(const std::string& fileName);
    // The same reading, with the rows left in `rows` (emptied first) instead of Entries.
    void loadGDB(const std::string& fileName, GDBRows& rows);
    int getTabVar(const std::string& name) const;          // column index or -1
    // The column whose word a row's cell of this name holds (the last of a repeated name, as in
    // Entries); -1 when there is no such column.
    int getCellColumn(const std::string& name) const;
    std::string getData(const std::string& key) const;     // " v1 v2 ..." or empty
    int getEntryCount() const;
    GDB_Entry getEntry(int row) const;
    GDB_Entry getEntry(const std::string& name, const std::string& value, int n) const;
    GDB_Entry getEntry(const std::string& name1, const std::string& value1, const std::string& name2,
                       const std::string& value2, int n) const;
    std::string getResidName(int resid) const;
    bool isVarInt(int i) const;
    bool isVarFloat(int i) const;
    bool isVarString(int i) const;
    bool isVarInt(const std::string& name) const;
    bool isVarFloat(const std::string& name) const;
    bool isVarString(const std::string& name) const;

    // ---- building and writing ----
    void addVAR(const std::string& name, const std::string& format);
    void setVAR(int index, const std::string& name, const std::string& format);  // index 1..VarsNumber
    void setData(const std::string& key, const std::string& value);
    void addRemark(const std::string& text);
    void setEntry(int row, const std::string& name, const std::string& value);
    void addEntry(const std::string& name, const std::string& value);   // cell of a new row
    void presetClass(const std::string& className);
    void set_plaintext();
    void saveGDB(const std::string& fileName);

    // Header parsers (run by loadGDB; public so that callers can install a header by hand).
    void VARS_str_parser(const std::string& text);
    void FORMAT_str_parser(const std::string& text);  // exits (status 0) on a bad conversion
    static bool checkFormat(const std::string& piece);

    // ---- text helpers ----
    static std::string simplifyWhiteSpace(const std::string& text);
    static StringList split_WhiteSpace(const std::string& text);   // "" -> one empty word
    static StringList split(const std::string& sep, const std::string& text);  // empty pieces dropped
    static StringList split(char sep, const std::string& text);
    // Pieces start..end (0-based) of split(sep, text) joined with sep; also left in buffer.
    static std::string section(const std::string& text, char sep, std::string& buffer, int start, int end);
    static int contains(const std::string& text, const std::string& pattern);  // overlapping count
    static int contains(const std::string& text, char c);
    static bool isDigit(char c);
    static bool isSpace(char c);          // blank, \t, \n, \v, \f, \r
    static std::string str_toupper(const std::string& text);
    // "%d" of value whatever the radix; the text is also left in buffer.
    static std::string itoa(int value, std::string& buffer, int radix = 10);
    // "%.<precision>l<letter>" with letter in e/f/g (either case, else f), precision at most 99,
    // a negative precision leaving out ".<precision>"; the text is also left in buffer.
    static std::string ftoa(double value, std::string& buffer, char letter = 'f', int precision = 6);

private:
    bool formatSeen_ = false;   // data rows are taken only after a FORMAT line
    void load(const std::string& fileName, GDBRows* rows);
    void buildResidList();
};
