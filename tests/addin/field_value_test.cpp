// Typed fields as cell values: texts, numbers, dates and times, unknown types,
// and the traces of the ones that cannot be read.
#include "addin_fixture.h"
#include "trace_file.h"

namespace {

struct FieldCase {
    std::string field; // type character and text
    std::string cell;
};

// Each field is one result row of one field, written down column 0.
void write_fields(const XllExports& x, const std::vector<FieldCase>& cases) {
    XllSession session;
    session.peer.expect(exec_request("q")).send(status_block(0, ""));
    std::vector<std::vector<std::string>> rows;
    for (const auto& c : cases)
        rows.push_back({c.field});
    script_rows(session.peer, rows);
    session.open();
    Opers op;
    EXPECT_EQ(x.XDorvExecRange(session.hdl, op.str("q"), op.sref(0, 0, 0, 0), op.missing()),
              static_cast<int>(cases.size()));
}

const std::vector<FieldCase> cases = {
    {"Stext", "str [text]"},
    {" blank type", "str [blank type]"},
    {"S", "str []"},
    {"S" + std::string(254, 'x'), "str [" + std::string(254, 'x') + "]"},
    {"N3.5", "num 3.5"},
    {"N  -12.25e2xyz", "num -1225"},
    {"N3,5", "num 3"}, // the separator here is a full stop: reading stops at the comma
    {"Nabc", "num 0"},
    {"N", "num 0"},
    {"D19960301120000", "num 35125.5"},
    {"T19960301120000", "num 35125.5"},
    {"D19700101000000", "num 25569"},
    {"T20380119031407", "num 50424.1348032407"}, // 2^31 - 1 seconds
    {"D19960229240000", "num 35125"},            // 24 o'clock carries into the next day
    {"D19961301000000", "num 35431"},            // month 13 is January of the next year
    {"D19960301", "str []"},                     // 8 digits
    {"D1996030112000", "str []"},                // 13 digits
    {"D199603011200000", "str []"},              // 15 digits
    // Every day Excel shows, 1900-03-01 (61) to 9999-12-31, whatever a 32-bit
    // count of seconds since 1970 would hold.
    {"D19650412000000", "num 23844"},
    {"T20450101120000", "num 52963.5"},
    {"T19691231235959", "num 25568.9999884259"},
    {"D20380119031408", "num 50424.1348148148"},
    {"D19000301000000", "num 61"},
    {"D19000229000000", "num 61"}, // 1900 has no 29 February: it carries into March
    {"T99991231235959", "num 2958465.99998843"},
    {"T19000228235959", "str []"}, // the last second before Excel's first day
    {"D19000228000000", "str []"},
    {"D99991232000000", "str []"}, // the day after Excel's last one
    {"T99991231240000", "str []"},
    {"D00000101000000", "str []"},
    {"Xother", "str [other]"},
    {"", "str []"}, // no type character at all
};

using FieldValues = AddinTest;

TEST_F(FieldValues, EachTypeCharacterGivesItsKindOfCellValue) {
    write_fields(x, cases);
    for (size_t i = 0; i < cases.size(); ++i) {
        EXPECT_EQ(cell_text(1, static_cast<int>(i), 0), cases[i].cell)
            << "field [" << cases[i].field << "]";
    }
}

TEST_F(FieldValues, UnreadableDatesAndUnknownTypesAreTraced) {
    std::string log;
    {
        XllTrace trace;
        write_fields(xll(), {{"D19960301", "str []"},
                             {"T19000228235959", "str []"},
                             {"D99991232000000", "str []"},
                             {"Xother", "str [other]"},
                             {"D19960301120000", "num 35125.5"}});
        log = trace.text();
    }
    EXPECT_NE(log.find("Bad Date: [D19960301]\n"), std::string::npos) << log;
    EXPECT_NE(log.find("Bad Date: [T19000228235959]\n"), std::string::npos) << log;
    EXPECT_NE(log.find("Bad Date: [D99991232000000]\n"), std::string::npos) << log;
    EXPECT_NE(log.find("Typ default: [Xother]\n"), std::string::npos) << log;
    EXPECT_EQ(log.find("Bad Date: [D19960301120000]"), std::string::npos) << log;
    // The end of each result and of each row is traced with its place.
    EXPECT_NE(log.find("\nXDorvExecRange: DORV_EOF, line = 1268\n"), std::string::npos) << log;
    EXPECT_NE(log.find("\nXDorvExecRange: DORV_EOF, line = 1298\n"), std::string::npos) << log;
}

} // namespace
