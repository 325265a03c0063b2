#include "addin_fixture.h"

#include <sstream>

std::string value_record(const std::vector<std::string>& fields, int status) {
    std::string data;
    for (const auto& f : fields)
        data += f + std::string(1, '\0');
    return status_block(status, data);
}

void script_rows(ScriptedPeer& peer, const std::vector<std::vector<std::string>>& rows, bool end) {
    for (const auto& row : rows)
        peer.expect(request('F')).send(value_record(row));
    if (end) peer.expect(request('F')).send(status_block(-9, ""));
}

std::string cell_text12(unsigned sheet, int row, int column) {
    int n = fake_cell_text12(sheet, row, column, nullptr, 0);
    if (n < 0) return cell_text(sheet, row, column);
    std::u16string text(static_cast<size_t>(n) + 1, u'\0');
    fake_cell_text12(sheet, row, column, text.data(), n + 1);
    text.resize(static_cast<size_t>(n));
    return str_text(to_utf8(text));
}

std::string cell_text(unsigned sheet, int row, int column) {
    FakeCell c;
    fake_cell(sheet, row, column, &c);
    std::ostringstream out;
    switch (c.type) {
    case excel::Num:
        out.precision(15);
        out << "num " << c.number;
        break;
    case excel::Str:
        out << "str [" << std::string(c.text, static_cast<size_t>(c.length)) << "]";
        break;
    case excel::Bool:
        out << "bool " << c.number;
        break;
    case excel::Err:
        out << "err " << c.error;
        break;
    default:
        break;
    }
    return out.str();
}

namespace {

std::vector<std::string> cells_as(std::string (*text)(unsigned, int, int), unsigned sheet,
                                  int rw_first, int rw_last, int col_first, int col_last) {
    std::vector<std::string> out;
    for (int r = rw_first; r <= rw_last; ++r)
        for (int c = col_first; c <= col_last; ++c)
            out.push_back(text(sheet, r, c));
    return out;
}

} // namespace

std::vector<std::string> cells(unsigned sheet, int rw_first, int rw_last, int col_first,
                               int col_last) {
    return cells_as(cell_text, sheet, rw_first, rw_last, col_first, col_last);
}

std::vector<std::string> cells12(unsigned sheet, int rw_first, int rw_last, int col_first,
                                 int col_last) {
    return cells_as(cell_text12, sheet, rw_first, rw_last, col_first, col_last);
}

void AddinTest::SetUp() {
    fake_reset();
    ASSERT_NE(x.XDorvConnect, nullptr) << "the add-in did not load";
}

void AddinTest::TearDown() {
    EXPECT_EQ(fake_outstanding(), 0) << "Excel-owned memory not given back with xlFree";
    char faults[2048];
    fake_faults(faults, sizeof faults);
    EXPECT_STREQ(faults, "");
}

void Addin12Test::SetUp() {
    AddinTest::SetUp();
    ASSERT_NE(x12.XDorvConnect12, nullptr) << "the add-in lacks its Excel 12 exports";
}

void XllSession::open(int warnings) {
    opened = true;
    peer.start();
    excel::Oper* result = xll().XDorvConnect(op.str("WINSOCK"), op.str("127.0.0.1"),
                                             op.str(peer.service()), op.num(warnings));
    ASSERT_EQ(result->xltype, excel::Int) << describe(result);
    handle = result->val.w;
    ASSERT_GE(handle, 0);
    hdl = op.num(handle);
    hdl12 = op12.num(handle);
}

void XllSession::open12() {
    opened = true;
    peer.start();
    std::string service = peer.service();
    excel::Oper12* result = xll12().XDorvConnect12(
        op12.str(u"WINSOCK"), op12.str(u"127.0.0.1"),
        op12.str(std::u16string(service.begin(), service.end())), op12.missing());
    ASSERT_EQ(result->xltype, excel::Int) << describe(result);
    handle = result->val.w;
    ASSERT_GE(handle, 0);
    hdl = op.num(handle);
    hdl12 = op12.num(handle);
}

void XllSession::close() {
    opened = false;
    if (handle >= 0) xll().XDorvDisconnect(op.num(handle));
    handle = -1;
    peer.stop();
    auto failures = peer.failures();
    EXPECT_TRUE(failures.empty()) << failures[0];
}

XllSession::~XllSession() {
    if (opened) close();
}
