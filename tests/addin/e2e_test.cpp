// The add-in in the fake Excel against the reference server: connect, execute
// into a range, read the cells back and compare them with what the server
// holds; pick an entry.
#include "addin_fixture.h"

#include "dorv32.h"
#include "support/test_files.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>

#ifndef _WIN32
#include "support/dorvd_process.h"
#endif

namespace {

// Days from 1970-01-01 to a civil date (proleptic Gregorian).
long days_from_civil(long y, long m, long d) {
    y -= m <= 2;
    long era = (y >= 0 ? y : y - 399) / 400;
    long yoe = y - era * 400;
    long doy = (153 * (m + (m > 2 ? -3 : 9)) + 2) / 5 + d - 1;
    long doe = yoe * 365 + yoe / 4 - yoe / 100 + doy;
    return era * 146097 + doe - 719468;
}

// What a cell must show for a field as the library hands it out.
std::string expected_cell(const std::string& field) {
    if (field.empty()) return "str []";
    std::string text = field.substr(1);
    std::ostringstream out;
    out.precision(15);
    switch (field[0]) {
    case 'N':
        out << "num " << strtod(text.c_str(), nullptr);
        return out.str();
    case 'D':
    case 'T': {
        if (text.size() != 14) return "str []";
        auto part = [&](size_t at, size_t n) { return atol(text.substr(at, n).c_str()); };
        double serial = 25569.0 + days_from_civil(part(0, 4), part(4, 2), part(6, 2)) +
                        (part(8, 2) * 3600 + part(10, 2) * 60 + part(12, 2)) / 86400.0;
        out << "num " << serial;
        return out.str();
    }
    default:
        return "str [" + text + "]";
    }
}

class AddinEndToEnd : public AddinTest {
  protected:
    void SetUp() override {
        AddinTest::SetUp();
#ifdef _WIN32
        const char* dir = getenv("DORV_FIXTURE_DIR");
        std::string path = std::string("Z:") + (dir != nullptr ? dir : "") + "/dorvd_plain/port";
        FILE* f = fopen(path.c_str(), "r");
        char text[32] = "";
        if (f != nullptr) {
            if (fgets(text, sizeof text, f) == nullptr) text[0] = '\0';
            fclose(f);
        }
        port = atoi(text) > 0 ? std::to_string(atoi(text)) : "";
#else
        if (server.start()) port = server.service();
#endif
        if (port.empty()) GTEST_SKIP() << "no reference server (build the native preset first)";
        excel::Oper* result =
            x.XDorvConnect(op.str("winsock"), op.str("127.0.0.1"), op.str(port), op.missing());
        ASSERT_EQ(result->xltype, excel::Int) << describe(result);
        handle = result->val.w;
        ASSERT_GE(handle, 0);
    }
    void TearDown() override {
        if (handle >= 0) {
            EXPECT_EQ(describe(x.XDorvDisconnect(op.num(handle))), "int 0");
        }
        AddinTest::TearDown();
    }
    // The same query read through the library: the fields of each row.
    std::vector<std::vector<std::string>> library_rows(const std::string& query) {
        char transport[] = "WINSOCK";
        int h = hl_connect(transport, "127.0.0.1", port.c_str(), 0);
        std::vector<std::vector<std::string>> rows;
        if (h < 0) return rows;
        char open[] = "OPEN DATABASE 'sample'";
        std::vector<char> text(query.begin(), query.end());
        text.push_back('\0');
        if (hl_dorv_exec(h, open) == 0 && hl_dorv_exec(h, text.data()) == 0) {
            for (int status = hl_dorv_hdr_val(h); status == 0; status = hl_dorv_next_val(h)) {
                std::vector<std::string> row;
                char field[256];
                while (hl_dorv_tfield(h, field, sizeof field) == 0)
                    row.push_back(field);
                rows.push_back(row);
            }
        }
        hl_disconnect(h);
        return rows;
    }
#ifndef _WIN32
    DorvdProcess server;
#endif
    std::string port;
    int handle = -1;
};

// A cell for the log: its text in UTF-8 (the sheet holds Windows ANSI), padded.
std::string shown(const std::string& cell, size_t width) {
    std::string out;
    size_t letters = 0;
    for (unsigned char c : cell) {
        if (c < 0x80) {
            out += static_cast<char>(c);
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
        }
        ++letters;
    }
    if (letters < width) out += std::string(width - letters, ' ');
    return out;
}

// The sheet as a grid, for the log of the test run.
void print_sheet(unsigned sheet, int rows, int columns, int first_row, int first_column) {
    printf("     ");
    for (int c = 0; c < columns; ++c)
        printf("| %s",
               shown(std::string(1, static_cast<char>('A' + first_column + c)), 24).c_str());
    printf("\n");
    for (int r = 0; r < rows; ++r) {
        printf("%4d ", first_row + r + 1);
        for (int c = 0; c < columns; ++c)
            printf("| %s", shown(cell_text(sheet, first_row + r, first_column + c), 24).c_str());
        printf("\n");
    }
}

TEST_F(AddinEndToEnd, ExecRangeWritesTheSampleCustomersIntoCells) {
    const std::string query =
        "select id, name, city, country, customer_since from customers order by id";
    excel::Oper* target = op.ref(1, 2, 2, 1, 1); // B3, a one-cell target
    int16_t written = x.XDorvExecRange(op.num(handle), op.str("OPEN DATABASE 'sample';" + query),
                                       target, op.num(1));
    auto rows = library_rows(query);
    ASSERT_EQ(rows.size(), 7u); // heading and six customers
    EXPECT_EQ(written, 7);
    for (size_t r = 0; r < rows.size(); ++r) {
        ASSERT_EQ(rows[r].size(), 5u);
        for (size_t c = 0; c < rows[r].size(); ++c)
            EXPECT_EQ(cell_text(1, 2 + static_cast<int>(r), 1 + static_cast<int>(c)),
                      expected_cell(rows[r][c]))
                << "row " << r << ", field " << rows[r][c];
    }
    EXPECT_EQ(cell_text(1, 3, 2), "str [M\xFCller GmbH]");
    EXPECT_EQ(cell_text(1, 3, 5), "num 34408"); // 1994-03-15
    EXPECT_EQ(cell_text(1, 9, 1), "");          // nothing below the result
    EXPECT_EQ(fake_cell_count(1), 7 * 5);       // a customer without a date gets an empty text
    print_sheet(1, 9, 6, 0, 0);
}

TEST_F(AddinEndToEnd, ExecThenRangeAndAPickedEntry) {
    EXPECT_EQ(
        x.XDorvExec(op.num(handle),
                    op.str("OPEN DATABASE 'sample'; select name, price from products order by id")),
        1);
    excel::Oper* target = op.ref(2, 0, 1, 0, 1); // two rows, two columns on sheet 2
    fake_add_sheet(2);
    EXPECT_EQ(x.XDorvRange(op.num(handle), target, op.missing()), 2);
    EXPECT_EQ(cells(2, 0, 1, 0, 1),
              (std::vector<std::string>{"str [Cr\xE8me br\xFBl\xE9"
                                        "e]",
                                        "num 4.5", "str [K\xE4sekuchen]", "num 3.25"}));

    EXPECT_EQ(x.XDorvExec(op.num(handle), op.str("select name, city from customers where id = 3")),
              1);
    char* key = x.XDorvSelectEntry(op.num(handle), op.str("city"), op.num(9), op.missing());
    ASSERT_NE(key, nullptr);
    EXPECT_STREQ(key, "Besan\xE7on"); // the only row is taken without a dialog
}

// With ReadAhead the add-in fills exactly the cells it fills without: a
// result of many blocks, one cut short by its target range (the requests
// still in flight are drained), and the result after it on the same handle.
TEST_F(AddinEndToEnd, ReadAheadFillsTheSameCellsAsWithout) {
    const std::string many =
        "OPEN DATABASE 'sample'; with recursive n(i) as (select 1 union all select i + 1 from n "
        "where i < 700) select i, 'Zeile ' || i || ' M\xFCller', i * 0.25, "
        "date('2001-02-03', '+' || i || ' days'), c.name from n join customers c "
        "on c.id = 1 + i % 6 order by i";
    const std::string after = "select id, name, city, country, customer_since from customers "
                              "order by id";
    struct Fill {
        std::vector<std::string> whole, cut, next;
        int16_t written[3];
    };
    auto fill = [&](int depth, unsigned sheet) {
        write_text_file(windorv_ini_path(), "[Global]\nReadAhead=" + std::to_string(depth) + "\n");
        excel::Oper* connected =
            x.XDorvConnect(op.str("winsock"), op.str("127.0.0.1"), op.str(port), op.missing());
        remove_file(windorv_ini_path());
        Fill f{};
        if (connected->xltype != excel::Int) {
            ADD_FAILURE() << describe(connected);
            return f;
        }
        double h = connected->val.w;
        fake_add_sheet(sheet);
        f.written[0] =
            x.XDorvExecRange(op.num(h), op.str(many), op.ref(sheet, 0, 0, 0, 0), op.num(1));
        f.whole = cells(sheet, 0, 701, 0, 4);
        // Three rows of 700: the add-in stops reading early.
        f.written[1] =
            x.XDorvExecRange(op.num(h), op.str(many), op.ref(sheet, 0, 2, 6, 10), op.num(0));
        f.cut = cells(sheet, 0, 3, 6, 10);
        f.written[2] =
            x.XDorvExecRange(op.num(h), op.str(after), op.ref(sheet, 0, 0, 12, 12), op.num(1));
        f.next = cells(sheet, 0, 7, 12, 16);
        EXPECT_EQ(describe(x.XDorvDisconnect(op.num(h))), "int 0");
        return f;
    };
    Fill plain = fill(0, 3);
    Fill ahead = fill(64, 4);
    EXPECT_EQ(plain.written[0], 701);
    EXPECT_EQ(plain.written[1], 3);
    EXPECT_EQ(plain.written[2], 7);
    EXPECT_EQ(plain.whole[5 * 700 + 1], "str [Zeile 700 M\xFCller]");
    EXPECT_EQ(plain.cut[5 * 3], ""); // nothing below the three rows
    EXPECT_EQ(plain.next[5 + 1], "str [M\xFCller GmbH]");
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(ahead.written[i], plain.written[i]) << i;
    EXPECT_EQ(ahead.whole, plain.whole);
    EXPECT_EQ(ahead.cut, plain.cut);
    EXPECT_EQ(ahead.next, plain.next);
}

} // namespace
