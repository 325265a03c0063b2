// The add-in's parts on their own, linked into the test program and attached
// to the fake Excel: registration texts, the scratch block, the text pool,
// conversions, field values, statement pieces and handles in cells.
#include "addin/convert.h"
#include "addin/field_value.h"
#include "addin/func_table.h"
#include "addin/handle_cell.h"
#include "addin/lifecycle.h"
#include "addin/statement_pieces.h"
#include "addin/wide_text.h"
#include "addin/xl_callback.h"
#include "addin/xl_callback12.h"
#include "fake_excel.h"
#include "shown_boxes.h"
#include "support/test_files.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

namespace {

class AttachedAddin : public ::testing::Environment {
  public:
    void SetUp() override {
        test_temp_dir();
        remove_file(windorv_ini_path());
        ASSERT_TRUE(xll_attach());
    }
    void TearDown() override { xll_detach(); }
};
const auto* attached = ::testing::AddGlobalTestEnvironment(new AttachedAddin);

std::string counted_text(const char* counted) {
    return std::string(counted + 1, static_cast<unsigned char>(counted[0]));
}

TEST(FuncTable, AttachCountsEveryTextsLengthBeforeAnyRegistration) {
    int texts = 0;
    for (auto& row : func_table)
        for (auto& text : row) {
            EXPECT_EQ(static_cast<size_t>(static_cast<unsigned char>(text[0])), strlen(text + 1))
                << text + 1;
            ++texts;
        }
    EXPECT_EQ(texts, 70);
    for (auto& row : func_table12)
        for (auto& text : row)
            EXPECT_EQ(static_cast<size_t>(static_cast<unsigned char>(text[0])), strlen(text + 1))
                << text + 1;
    EXPECT_STREQ(func_table12[9][FUNC12_TYPE_TEXT] + 1, "C%UUUU");
    EXPECT_STREQ(func_table[3][FUNC_TYPE_TEXT] + 1, "IRRR");
    EXPECT_STREQ(func_table[3][FUNC_ARGUMENT_TEXT] + 1, "handle, filename, section");
}

TEST(Scratch, HoldsRecordsUpTo1024BytesAndStartsEachAtAnEvenOffset) {
    xl_temp_reset();
    EXPECT_NE(xl_temp_alloc(1024), nullptr);
    EXPECT_EQ(xl_temp_alloc(1), nullptr);
    xl_temp_reset();
    EXPECT_EQ(xl_temp_alloc(1025), nullptr);
    EXPECT_EQ(xl_temp_alloc(-1), nullptr);
    char* first = static_cast<char*>(xl_temp_alloc(3));
    char* second = static_cast<char*>(xl_temp_alloc(1));
    char* third = static_cast<char*>(xl_temp_alloc(2));
    ASSERT_NE(first, nullptr);
    EXPECT_EQ(second - first, 4);
    EXPECT_EQ(third - second, 2);
    EXPECT_NE(xl_temp_alloc(1024 - 8), nullptr); // ends exactly at 1024
    EXPECT_EQ(xl_temp_alloc(1), nullptr);
    xl_temp_reset();
}

TEST(Scratch, RecordsPointAtTheCallersTextAndCarryTheActiveSheet) {
    fake_reset();
    fake_set_active_sheet(42);
    xl_temp_reset();
    char text[] = "\377hello";
    XLOPER* s = xl_temp_str(text);
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(s->xltype, xltypeStr);
    EXPECT_EQ(s->val.str, text);
    EXPECT_EQ(text[0], 5);
    XLOPER* i = xl_temp_int(-7);
    ASSERT_NE(i, nullptr);
    EXPECT_EQ(i->xltype, xltypeInt);
    EXPECT_EQ(i->val.w, -7);
    XLOPER* r = xl_temp_ref(65535, 65535, 255, 255);
    ASSERT_NE(r, nullptr);
    EXPECT_EQ(r->xltype, xltypeRef);
    EXPECT_EQ(r->val.mref.idSheet, 42u);
    ASSERT_NE(r->val.mref.lpmref, nullptr);
    EXPECT_EQ(r->val.mref.lpmref->count, 1);
    EXPECT_EQ(r->val.mref.lpmref->reftbl[0].rwFirst, 65535);
    EXPECT_EQ(r->val.mref.lpmref->reftbl[0].colLast, 255);
    // Excel's answer decides: a failed xlSheetId gives no reference.
    fake_fail_function(xlSheetId, 0);
    EXPECT_EQ(xl_temp_ref(0, 0, 0, 0), nullptr);
    xl_temp_reset();
}

TEST(Scratch, AFullBlockGivesNullRecordsWhichXlCallDoesNotPassOn) {
    fake_reset();
    xl_temp_reset();
    ASSERT_NE(xl_temp_alloc(1024 - 8), nullptr);
    char text[] = "\377x";
    EXPECT_EQ(xl_temp_str(text), nullptr);
    EXPECT_EQ(xl_temp_int(1), nullptr);
    XLOPER dummy;
    dummy.xltype = xltypeNil;
    EXPECT_EQ(xl_call(xlcAlert, nullptr, 2, xl_temp_str(text), &dummy), xlretInvXloper);
    EXPECT_EQ(fake_call_count(), 0);
    // Every call empties the block, whatever came of it.
    EXPECT_NE(xl_temp_alloc(1024), nullptr);
    xl_temp_reset();
    EXPECT_EQ(xl_call(xlcAlert, nullptr, 31, &dummy), xlretInvCount);
    EXPECT_EQ(fake_call_count(), 0);
}

TEST(Pool, Holds4095BytesBackToBackAndReportsWhatDoesNotFit) {
    ShownBoxes boxes;
    tmpstr_reset();
    char* a = tmpstr_alloc(10);
    char* b = tmpstr_alloc(3);
    EXPECT_EQ(b - a, 10);
    tmpstr_reset();
    EXPECT_EQ(tmpstr_alloc(4095), tmpstr);
    EXPECT_EQ(tmpstr_alloc(1), nullptr);
    tmpstr_reset();
    EXPECT_EQ(tmpstr_alloc(4096), nullptr);
    EXPECT_EQ(boxes.summary(),
              (std::vector<std::string>{"Dorv XLL|not enough memory to alloc tmpstr\n   max size: "
                                        "4096\n   offset: 4095\n   nbytes: 1",
                                        "Dorv XLL|not enough memory to alloc tmpstr\n   max size: "
                                        "4096\n   offset: 0\n   nbytes: 4096"}));
    boxes.clear();
    xl_set_int(&xl_result, 5);
    EXPECT_EQ(tmpstr_alloc(0), nullptr);
    EXPECT_EQ(tmpstr_alloc(-2), nullptr);
    EXPECT_EQ(xl_result.xltype, xltypeInt); // untouched
    EXPECT_EQ(boxes.summary(), std::vector<std::string>{});
}

XLOPER text_arg(char* counted) {
    XLOPER x;
    x.xltype = xltypeStr;
    x.val.str = counted;
    return x;
}

TEST(Conversion, TrimmingDropsBlanksOnlyAndBlanksAloneTakeOneByte) {
    struct Case {
        std::string counted;
        std::string text;
        int bytes;
    } cases[] = {
        {std::string("\007  abc  "), "abc", 4},
        {std::string("\003   "), "", 1},
        {std::string("\000", 1), "", 1},
        {std::string("\005\tab \t"), "\tab \t", 6},
    };
    for (auto& c : cases) {
        tmpstr_reset();
        XLOPER x = text_arg(c.counted.data());
        char* text = MKSTR(&x);
        ASSERT_NE(text, nullptr);
        EXPECT_EQ(std::string(text), c.text);
        EXPECT_EQ(tmp_ofs, c.bytes);
    }
}

TEST(Conversion, AReferenceOfEmptyCellsOnlyIsTheEmptyText) {
    fake_reset();
    tmpstr_reset();
    XLOPER ref;
    ref.xltype = xltypeSRef;
    ref.val.sref.count = 1;
    ref.val.sref.ref = {3, 4, 0, 2};
    char* text = MKSTR(&ref);
    ASSERT_NE(text, nullptr);
    EXPECT_STREQ(text, "");
    EXPECT_EQ(fake_outstanding(), 0);
}

TEST(Conversion, IntegersAreTruncatedAndKeepTheirLow32Bits) {
    struct Case {
        double number;
        int value;
    } cases[] = {{3.9, 3}, {-3.9, -3}, {0.5, 0}, {4294967298.0, 2}, {-2147483649.0, 2147483647}};
    for (const auto& c : cases) {
        XLOPER x;
        x.xltype = xltypeNum;
        x.val.num = c.number;
        int value = 99;
        EXPECT_EQ(MKINT(&x, &value), 0);
        EXPECT_EQ(value, c.value) << c.number;
    }
}

TEST(FieldValue, TheUsersDecimalSeparatorBecomesAFullStop) {
    char saved = xl_decimal_sep[0];
    xl_decimal_sep[0] = ',';
    struct Case {
        const char* field;
        double number;
    } cases[] = {{"N3,5", 3.5}, {"N3.5", 3.5}, {"N-1,25", -1.25}, {"N1,234,5", 1.234}, {"N7", 7}};
    for (const auto& c : cases) {
        char field[FIELD_SIZE];
        snprintf(field, sizeof field, "%s", c.field);
        XLOPER value;
        xl_field_value(&value, field);
        EXPECT_EQ(value.xltype, xltypeNum) << c.field;
        EXPECT_DOUBLE_EQ(value.val.num, c.number) << c.field;
    }
    xl_decimal_sep[0] = saved;
}

TEST(FieldValue, ATextValueIsTheFieldBufferMadeACountedString) {
    char field[FIELD_SIZE] = "Sabc";
    XLOPER value;
    xl_field_value(&value, field);
    EXPECT_EQ(value.xltype, xltypeStr);
    EXPECT_EQ(value.val.str, field);
    EXPECT_EQ(counted_text(field), "abc");
    char empty[FIELD_SIZE] = "";
    xl_field_value(&value, empty);
    EXPECT_EQ(value.xltype, xltypeStr);
    EXPECT_EQ(counted_text(empty), "");
}

TEST(FieldValue, CalendarFieldsCarryOverLikeMktimeWithoutATimeZone) {
    EXPECT_EQ(calendar_seconds(1970, 1, 1, 0, 0, 0), 0);
    EXPECT_EQ(calendar_seconds(1996, 3, 1, 12, 0, 0), 9556LL * 86400 + 43200);
    EXPECT_EQ(calendar_seconds(1996, 2, 30, 0, 0, 0),
              calendar_seconds(1996, 3, 1, 0, 0, 0)); // leap year
    EXPECT_EQ(calendar_seconds(1997, 2, 29, 0, 0, 0), calendar_seconds(1997, 3, 1, 0, 0, 0));
    EXPECT_EQ(calendar_seconds(2000, 0, 1, 0, 0, 0), calendar_seconds(1999, 12, 1, 0, 0, 0));
    EXPECT_EQ(calendar_seconds(1970, 1, 1, 0, 0, -1), -1);
    EXPECT_EQ(calendar_seconds(2038, 1, 19, 3, 14, 7), 2147483647LL);
}

std::vector<std::string> pieces(const std::string& statement) {
    std::vector<char> text(statement.begin(), statement.end());
    text.push_back('\0');
    std::vector<std::string> out;
    char* rest = text.data();
    while (char* piece = next_piece(&rest))
        out.push_back(piece);
    return out;
}

TEST(StatementPieces, SemicolonsOutsideQuotesSplitTheText) {
    struct Case {
        std::string text;
        std::vector<std::string> pieces;
    } cases[] = {
        {"select 1; select 2", {"select 1", " select 2"}},
        {"a;", {"a"}},
        {"", {}},
        {";;", {"", ""}},
        {";a", {"", "a"}},
        {"x = 'a;b'; y", {"x = 'a;b'", " y"}},
        {"x = \"a;'b\"; y", {"x = \"a;'b\"", " y"}},
        {"x = 'a\"; y'; z", {"x = 'a\"; y'", " z"}},
        {"'open; never closed", {"'open; never closed"}},
    };
    for (const auto& c : cases)
        EXPECT_EQ(pieces(c.text), c.pieces) << c.text;
}

TEST(HandleCell, AHandleBeyond16BitsClosesItsConnectionAndShowsNum) {
    struct Case {
        int handle;
        bool fits;
    } cases[] = {{-32768, true}, {-1, true},      {32767, true},
                 {32768, false}, {-32769, false}, {70000, false}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.handle);
        ShownBoxes boxes;
        XLOPER* result = xl_handle_result(&xl_result, c.handle);
        if (c.fits) {
            EXPECT_EQ(result->xltype, xltypeInt);
            EXPECT_EQ(result->val.w, c.handle);
            EXPECT_EQ(boxes.summary(), std::vector<std::string>{});
            continue;
        }
        EXPECT_EQ(result->xltype, xltypeErr);
        EXPECT_EQ(result->val.err, xlerrNum);
        // The library is asked to close it (here it knows no such handle and says so).
        auto shown = boxes.summary();
        ASSERT_EQ(shown.size(), 2u);
        EXPECT_EQ(shown[0],
                  "Dorv|Invalid connection handle:\n handle = " + std::to_string(c.handle));
        EXPECT_EQ(shown[1], "Dorv XLL|Connection handle " + std::to_string(c.handle) +
                                " does not fit into a cell\n(-32768 to 32767): connection closed.");
    }
}

} // namespace

namespace {

TEST(HandleCell, AnExcel12CellHoldsEveryHandle) {
    ShownBoxes boxes;
    for (int handle : {-1, 32768, 70000, 2147483647}) {
        XLOPER12* result = xl_handle_result(&xl12_result, handle);
        EXPECT_EQ(result->xltype, xltypeInt);
        EXPECT_EQ(result->val.w, handle);
    }
    EXPECT_EQ(boxes.summary(), std::vector<std::string>{});
}

TEST(WideText, Utf16BecomesWindowsAnsiUnitForByteOrNotAtAll) {
    struct Case {
        std::u16string wide;
        std::string ansi; // empty: no conversion
        char16_t bad;
    } cases[] = {
        {u"M\u00FCller", "M\xFCller", 0},
        {u"\u20AC \u0160 \u0178 \u00FF", "\x80 \x8A \x9F \xFF", 0},
        {u"\u0081\u009D", "\x81\x9D", 0}, // the code page's holes keep their byte
        {u"ab\u03A9c", "", u'\u03A9'},
        {u"x\u0080", "", u'\u0080'},
        {std::u16string(u"a") + char16_t{0xDC00}, "", char16_t{0xDC00}},
    };
    for (const auto& c : cases) {
        char out[16] = {};
        char16_t bad = 0;
        bool ok = wide_to_ansi(c.wide.data(), c.wide.size(), out, &bad);
        EXPECT_EQ(ok, c.bad == 0) << c.ansi;
        if (!ok) {
            EXPECT_EQ(bad, c.bad);
            continue;
        }
        EXPECT_EQ(std::string(out, c.wide.size()), c.ansi);
        char16_t back[16] = {};
        ansi_to_wide(c.ansi.data(), c.ansi.size(), back);
        EXPECT_EQ(std::u16string(back, c.ansi.size()), c.wide);
    }
}

TEST(Scratch12, RecordsStayAlignedBetweenTextsAndTextsBecomeUtf16) {
    xl_temp_reset();
    XLOPER12* a = xl12_temp_str("M\xFCller");
    XLOPER12* b = xl12_temp_int(70000);
    XLOPER12* c = xl12_temp_str("");
    XLOPER12* r = xl12_temp_sheet_ref(7, 1048575, 1048575, 16383, 16383);
    for (XLOPER12* x : {a, b, c, r}) {
        ASSERT_NE(x, nullptr);
        EXPECT_EQ(reinterpret_cast<uintptr_t>(x) % 8, 0u);
    }
    EXPECT_EQ(std::u16string(a->val.str, 7), u"\u0006M\u00FCller");
    EXPECT_EQ(b->val.w, 70000);
    EXPECT_EQ(c->val.str[0], 0);
    EXPECT_EQ(r->val.mref.idSheet, 7u);
    EXPECT_EQ(r->val.mref.lpmref->reftbl[0].colLast, 16383);
    // Without the host's entry nothing is called, and the block is emptied.
    EXPECT_FALSE(xl12_offered());
    EXPECT_EQ(xl12_call(xlcAlert, nullptr, 1, a), xlretFailed);
    EXPECT_NE(xl_temp_alloc(1024), nullptr);
    xl_temp_reset();
}

TEST(FieldValue12, TextsUpTo32767CharactersAndNumbersAsInTheOtherInterface) {
    static char field[CELL12_FIELD_SIZE];
    std::string text = "S" + std::string(32767, 'x');
    text[1] = '\xFC';
    memcpy(field, text.c_str(), text.size() + 1);
    XLOPER12 value;
    xl_field_value(&value, field);
    ASSERT_EQ(value.xltype, xltypeStr);
    EXPECT_EQ(value.val.str[0], 32767);
    EXPECT_EQ(value.val.str[1], u'\u00FC');
    EXPECT_EQ(value.val.str[32767], u'x');
    char number[] = "N-2.5";
    xl_field_value(&value, number);
    EXPECT_EQ(value.xltype, xltypeNum);
    EXPECT_DOUBLE_EQ(value.val.num, -2.5);
    char bad_date[] = "D19960301";
    xl_field_value(&value, bad_date);
    ASSERT_EQ(value.xltype, xltypeStr);
    EXPECT_EQ(value.val.str[0], 0);
}

} // namespace
