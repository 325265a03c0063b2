// Registration in an Excel that offers its 12 interface: xlAutoOpen and
// xlAutoRegister12 register through MdCallBack12, with the Excel 12
// procedures and type texts and the other texts of the 4 interface.
#include "addin_fixture.h"

namespace {

struct Row {
    const char* texts[7];
};

// What Excel must receive for each function, in table order. Q: an XLOPER12
// result; U: an XLOPER12 argument, a reference allowed; J: a 32-bit integer;
// A: a boolean; C%: a NUL-terminated UTF-16 text.
const Row rows[] = {
    {{"XDorvConnect12", "QUUUU", "XDorvConnect", "transport,server,service,debug", "1",
      "Dorv Functions", ""}},
    {{"XDorvConnectIni12", "QUUUU", "XDorvConnectIni", "filename,section,debug,dbopen", "1",
      "Dorv Functions", ""}},
    {{"XDorvDisconnect12", "QU", "XDorvDisconnect", "handle", "1", "Dorv Functions", ""}},
    {{"XDorvSetInifile12", "JUUU", "XDorvSetInifile", "handle, filename, section", "1",
      "Dorv Functions", ""}},
    {{"XDorvVersion12", "QU", "XDorvVersion", "handle", "1", "Dorv Functions", ""}},
    {{"XDorvClearRange12", "AUU", "XDorvClearRange", "", "2", "Dorv Functions", ""}},
    {{"XDorvExecRange12", "JUUUU", "XDorvExecRange", "", "2", "Dorv Functions", ""}},
    {{"XDorvExec12", "JUU", "XDorvExec", "", "2", "Dorv Functions", ""}},
    {{"XDorvRange12", "JUUU", "XDorvRange", "", "2", "Dorv Functions", ""}},
    {{"XDorvSelectEntry12", "C%UUUU", "XDorvSelectEntry", "", "2", "Dorv Functions", ""}},
};

// A counted UTF-16 text: the length unit, then the characters.
std::u16string counted16(const std::string& ascii) {
    return std::u16string(1, static_cast<char16_t>(ascii.size())) +
           std::u16string(ascii.begin(), ascii.end());
}

std::u16string registered(int index, int argument) {
    char16_t units[300];
    int n = fake_registration_units(index, argument, units, 300);
    if (n < 0) return u"(no text)";
    return std::u16string(units, static_cast<size_t>(n));
}

// The calls into Excel: function number and the interface it came through.
std::vector<std::pair<int, int>> calls() {
    std::vector<std::pair<int, int>> out;
    for (int i = 0; i < fake_call_count(); ++i)
        out.emplace_back(fake_call_function(i), fake_call_interface(i));
    return out;
}

using Registration12 = Addin12Test;

TEST_F(Registration12, AutoOpenRegistersTheTenRowsThroughTheHostsExcel12Entry) {
    fake_set_dll_name("C:\\Program Files\\Dorv\\DORV32.XLL");
    EXPECT_EQ(x.xlAutoOpen(), 1);
    ASSERT_EQ(fake_registration_count(), 10);
    for (int i = 0; i < 10; ++i) {
        SCOPED_TRACE(rows[i].texts[0]);
        EXPECT_EQ(fake_registration_interface(i), 12);
        ASSERT_EQ(fake_registration_argument_count(i), 8);
        EXPECT_EQ(registered(i, 0), counted16("C:\\Program Files\\Dorv\\DORV32.XLL"));
        for (int column = 0; column < 7; ++column)
            EXPECT_EQ(registered(i, column + 1), counted16(rows[i].texts[column]))
                << "column " << column + 1;
    }
    // Everything through the 12 interface: the path, ten registrations, the path back.
    std::vector<std::pair<int, int>> expected{{excel::GetName, 12}};
    expected.insert(expected.end(), 10, {excel::FnRegister, 12});
    expected.push_back({excel::Free, 12});
    EXPECT_EQ(calls(), expected);
}

TEST_F(Registration12, ARefusedRowOrAMissingPathIsHandledAsThroughTheOldInterface) {
    fake_refuse_registration("XDorvExec12");
    EXPECT_EQ(x.xlAutoOpen(), 1);
    EXPECT_EQ(fake_registration_count(), 10); // the rows after it are registered all the same
    EXPECT_EQ(registered(9, 1), counted16("XDorvSelectEntry12"));
    fake_reset();
    fake_fail_function(excel::GetName, 0);
    EXPECT_EQ(x.xlAutoOpen(), 1);
    EXPECT_EQ(fake_registration_count(), 0);
    EXPECT_EQ(calls(), (std::vector<std::pair<int, int>>{{excel::GetName, 12}}));
}

TEST_F(Registration12, AutoRegister12RegistersTheProcedureItIsNamedWithItsOwnTypes) {
    struct Case {
        std::u16string name;
        int row;               // -1: no row matches
        std::string procedure; // and type text: the Excel 12 ones, or the 4 interface's
        std::string type_text;
    } cases[] = {
        {u"XDorvExec12", 7, "XDorvExec12", "JUU"},
        {u"xdorvexecrange12", 6, "XDorvExecRange12", "JUUUU"},
        {u"XDorvExec", 7, "XDorvExec", "IRR"},
        {u"XDORVSELECTENTRY", 9, "XDorvSelectEntry", "CRRRR"},
        {u"XDorvExec1", -1, "", ""},
        {u"XDorvExec12 ", -1, "", ""},
        {u"", -1, "", ""},
        {u"XDorv\u03A9xec12", -1, "", ""}, // no Windows ANSI name
        {std::u16string(300, u'X'), -1, "", ""},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(to_utf8(c.name));
        fake_reset();
        excel::Oper12* id = x12.xlAutoRegister12(op12.str(c.name));
        if (c.row < 0) {
            EXPECT_EQ(describe(id), err_text(excel::ErrValue));
            EXPECT_EQ(fake_call_count(), 0) << "no call into Excel for an unknown name";
            continue;
        }
        EXPECT_EQ(describe(id), "num 1001"); // Excel's answer
        ASSERT_EQ(fake_registration_count(), 1);
        EXPECT_EQ(fake_registration_interface(0), 12);
        EXPECT_EQ(registered(0, 1), counted16(c.procedure));
        EXPECT_EQ(registered(0, 2), counted16(c.type_text));
        for (int column = 2; column < 7; ++column)
            EXPECT_EQ(registered(0, column + 1), counted16(rows[c.row].texts[column]));
        EXPECT_EQ(calls(), (std::vector<std::pair<int, int>>{
                               {excel::GetName, 12}, {excel::FnRegister, 12}, {excel::Free, 12}}));
    }
    EXPECT_EQ(describe(x12.xlAutoRegister12(op12.num(7))), err_text(excel::ErrValue));
}

} // namespace
