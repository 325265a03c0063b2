// Registration with Excel: xlAutoOpen, xlAutoClose, xlAutoRegister, the
// alerts of xlAutoAdd and xlAutoRemove, and the Add-In Manager's name.
#include "addin_fixture.h"

namespace {

struct Row {
    const char* texts[7];
};

// What Excel must receive for each function, in table order.
const Row rows[] = {
    {{"XDorvConnect", "RRRRR", "XDorvConnect", "transport,server,service,debug", "1",
      "Dorv Functions", ""}},
    {{"XDorvConnectIni", "RRRRR", "XDorvConnectIni", "filename,section,debug,dbopen", "1",
      "Dorv Functions", ""}},
    {{"XDorvDisconnect", "RR", "XDorvDisconnect", "handle", "1", "Dorv Functions", ""}},
    {{"XDorvSetInifile", "IRRR", "XDorvSetInifile", "handle, filename, section", "1",
      "Dorv Functions", ""}},
    {{"XDorvVersion", "RR", "XDorvVersion", "handle", "1", "Dorv Functions", ""}},
    {{"XDorvClearRange", "ARR", "XDorvClearRange", "", "2", "Dorv Functions", ""}},
    {{"XDorvExecRange", "IRRRR", "XDorvExecRange", "", "2", "Dorv Functions", ""}},
    {{"XDorvExec", "IRR", "XDorvExec", "", "2", "Dorv Functions", ""}},
    {{"XDorvRange", "IRRR", "XDorvRange", "", "2", "Dorv Functions", ""}},
    {{"XDorvSelectEntry", "CRRRR", "XDorvSelectEntry", "", "2", "Dorv Functions", ""}},
};

std::string counted(const std::string& text) {
    return std::string(1, static_cast<char>(text.size())) + text;
}

std::string registered(int index, int argument) {
    unsigned char bytes[300];
    int n = fake_registration_bytes(index, argument, bytes, sizeof bytes);
    if (n < 0) return "(no text)";
    return std::string(reinterpret_cast<char*>(bytes), static_cast<size_t>(n));
}

std::vector<int> functions_called() {
    std::vector<int> out;
    for (int i = 0; i < fake_call_count(); ++i)
        out.push_back(fake_call_function(i));
    return out;
}

using Registration = AddinTest;

TEST_F(Registration, AutoOpenRegistersTheTenRowsUnderTheAddinsPathAndFreesIt) {
    fake_set_dll_name("C:\\Program Files\\Dorv\\DORV32.XLL");
    EXPECT_EQ(x.xlAutoOpen(), 1);
    ASSERT_EQ(fake_registration_count(), 10);
    for (int i = 0; i < 10; ++i) {
        SCOPED_TRACE(rows[i].texts[0]);
        ASSERT_EQ(fake_registration_argument_count(i), 8);
        EXPECT_EQ(registered(i, 0), counted("C:\\Program Files\\Dorv\\DORV32.XLL"));
        for (int column = 0; column < 7; ++column)
            EXPECT_EQ(registered(i, column + 1), counted(rows[i].texts[column]))
                << "column " << column + 1;
    }
    // xlGetName, ten registrations, then the name goes back to Excel.
    std::vector<int> expected{excel::GetName};
    expected.insert(expected.end(), 10, excel::FnRegister);
    expected.push_back(excel::Free);
    EXPECT_EQ(functions_called(), expected);
    EXPECT_EQ(fake_outstanding(), 0);
}

TEST_F(Registration, ARowThatExcelRefusesDoesNotStopTheOthers) {
    fake_refuse_registration("XDorvConnectIni");
    fake_refuse_registration("XDorvVersion");
    EXPECT_EQ(x.xlAutoOpen(), 1);
    ASSERT_EQ(fake_registration_count(), 10);
    EXPECT_EQ(registered(9, 1), counted("XDorvSelectEntry"));
}

TEST_F(Registration, WithoutItsPathNameNothingIsRegistered) {
    fake_fail_function(excel::GetName, 0);
    EXPECT_EQ(x.xlAutoOpen(), 1);
    EXPECT_EQ(fake_registration_count(), 0);
    EXPECT_EQ(functions_called(), std::vector<int>{excel::GetName});
    fake_fail_function(excel::GetName, 0);
    excel::Oper* id = x.xlAutoRegister(op.str("XDorvExec"));
    EXPECT_EQ(describe(id), err_text(excel::ErrValue));
    EXPECT_EQ(fake_registration_count(), 0);
}

TEST_F(Registration, AutoCloseDeletesEachFunctionsNameAndUnregistersNothing) {
    EXPECT_EQ(x.xlAutoClose(), 1);
    ASSERT_EQ(fake_set_name_count(), 10);
    for (int i = 0; i < 10; ++i) {
        char name[64];
        EXPECT_EQ(fake_set_name(i, name, sizeof name), 1); // the name alone deletes it
        EXPECT_STREQ(name, rows[i].texts[2]);
    }
    EXPECT_EQ(fake_registration_count(), 0);
}

TEST_F(Registration, AutoRegisterMatchesNamesWithoutRegardToCaseButWithEqualLength) {
    // Freshly attached: nothing has registered yet, so the length bytes that
    // the names are compared by are those that attach counted.
    reload_xll();
    struct Case {
        std::string name;
        int row; // -1: no row matches
    } cases[] = {
        {"XDorvExec", 7},        {"xdorvexec", 7},    {"XDORVEXECRANGE", 6},
        {"XDorvSelectEntry", 9}, {"XDorvConnect", 0}, {"XDorvExe", -1},
        {"XDorvExecR", -1},      {"XDorvExec ", -1},  {"", -1},
        {"NoSuchFunction", -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        fake_reset();
        excel::Oper* id = x.xlAutoRegister(op.str(c.name));
        if (c.row < 0) {
            EXPECT_EQ(describe(id), err_text(excel::ErrValue));
            EXPECT_EQ(fake_call_count(), 0) << "no call into Excel for an unknown name";
            continue;
        }
        // Excel's answer to the registration comes back as the result.
        EXPECT_EQ(describe(id), "num 1001");
        ASSERT_EQ(fake_registration_count(), 1);
        for (int column = 0; column < 7; ++column)
            EXPECT_EQ(registered(0, column + 1), counted(rows[c.row].texts[column]));
        EXPECT_EQ(functions_called(),
                  (std::vector<int>{excel::GetName, excel::FnRegister, excel::Free}));
        EXPECT_EQ(fake_outstanding(), 0);
    }
}

TEST_F(Registration, AutoRegisterOfSomethingOtherThanATextIsValueWithoutACall) {
    excel::Oper* names[] = {op.num(7), op.missing(), op.err(excel::ErrNA), op.sref(0, 0, 0, 0)};
    for (excel::Oper* name : names) {
        EXPECT_EQ(describe(x.xlAutoRegister(name)), err_text(excel::ErrValue));
    }
    EXPECT_EQ(fake_call_count(), 0);
}

TEST_F(Registration, ARefusedSingleRegistrationReturnsExcelsAnswer) {
    fake_refuse_registration("XDorvRange");
    EXPECT_EQ(describe(x.xlAutoRegister(op.str("xdorvrange"))), err_text(excel::ErrValue));
    EXPECT_EQ(fake_registration_count(), 1);
}

TEST_F(Registration, AddAndRemoveShowTheirInformationAlerts) {
    EXPECT_EQ(x.xlAutoAdd(), 1);
    EXPECT_EQ(x.xlAutoRemove(), 1);
    ASSERT_EQ(fake_alert_count(), 2);
    char text[64];
    EXPECT_EQ(fake_alert(0, text, sizeof text), 2);
    EXPECT_STREQ(text, "DORV.XLL successfully loaded");
    EXPECT_EQ(fake_alert(1, text, sizeof text), 2);
    EXPECT_STREQ(text, "DORV.XLL successfully removed");
    // Removing unregisters and deletes nothing.
    EXPECT_EQ(fake_registration_count(), 0);
    EXPECT_EQ(fake_set_name_count(), 0);
}

TEST_F(Registration, TheAddinManagerGetsTheNameWithItsLeadingBlankForActionOneOnly) {
    struct Case {
        excel::Oper* action;
        std::string result;
    } cases[] = {
        {op.num(1), str_text(" Dorv Excel Interface")},
        {op.integer(1), str_text(" Dorv Excel Interface")},
        {op.str("1"), str_text(" Dorv Excel Interface")},
        {op.num(2), err_text(excel::ErrValue)},
        {op.num(0), err_text(excel::ErrValue)},
        {op.str("abc"), err_text(excel::ErrValue)}, // Excel cannot make an integer of it
        {op.missing(), err_text(excel::ErrValue)},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(describe(c.action));
        excel::Oper* info = x.xlAddInManagerInfo(c.action);
        EXPECT_EQ(describe(info), c.result);
        if (info->xltype == excel::Str) {
            EXPECT_EQ(static_cast<unsigned char>(info->val.str[0]), 21);
        }
    }
}

} // namespace
