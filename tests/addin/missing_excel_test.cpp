// The add-in loaded where Excel's callback library cannot be bound: without
// xlcall32 at all (DORV_MISSING_EXCEL4V undefined), or with an xlcall32 that
// lacks Excel4v. Attach says so once; on Windows the load fails, on POSIX the
// add-in stays loaded but every export answers with its failure value.
#include "excel_args.h"
#include "shown_boxes.h"
#include "support/test_files.h"
#include "trace_file.h"
#include "xll_loader.h"

#include <gtest/gtest.h>

namespace {

#ifdef DORV_MISSING_EXCEL4V
const char* const expected_text = "Unable to establish dynamic\nlinkage to XLCALL32.XLL\nWinErrno=";
extern "C" int Excel4(int, excel::Oper*, int, ...);
#else
const char* const expected_text = "Unable to load XLCALL32.DLL\nWinErrno=";
#endif

TEST(MissingExcel, AttachShowsWhyOnceAndTheAddinCannotBeUsed) {
#ifdef DORV_MISSING_EXCEL4V
    // The process holds the xlcall32 without Excel4v, as Excel holds its own.
    ASSERT_EQ(Excel4(0, nullptr, 0), excel::RetFailed);
#endif
    std::string log = test_temp_dir() + "/missing_excel.log";
    remove_file(log);
    write_text_file(windorv_ini_path(),
                    "[Global]\nDebug=1\nXLLDebugFile=" + log + "\nDLLDebugFile=" + log + ".dll\n");
    ShownBoxes boxes;
    std::string error;
    void* module = load_xll(&error);
    auto shown = boxes.summary();
    ASSERT_EQ(shown.size(), 1u) << testing::PrintToString(shown);
    EXPECT_EQ(shown[0].substr(0, shown[0].find('=') + 1),
              std::string("DORV32.XLL|") + expected_text);
#ifdef _WIN32
    EXPECT_EQ(boxes.styles(), std::vector<unsigned>{0x10u}); // MB_OK | MB_ICONSTOP
    EXPECT_EQ(module, nullptr) << "the load must fail";
#else
    ASSERT_NE(module, nullptr) << error;
    XllExports x;
    std::string missing;
    ASSERT_TRUE(find_exports(module, &x, &missing)) << missing;
    Opers op;
    EXPECT_EQ(x.xlAutoOpen(), 0);
    EXPECT_EQ(x.xlAutoAdd(), 0);
    EXPECT_EQ(describe(x.xlAutoRegister(op.str("XDorvExec"))), err_text(excel::ErrValue));
    EXPECT_EQ(describe(x.xlAddInManagerInfo(op.num(1))), err_text(excel::ErrValue));
    EXPECT_EQ(
        describe(x.XDorvConnect(op.str("WINSOCK"), op.str("127.0.0.1"), op.str("1"), op.missing())),
        err_text(excel::ErrValue));
    EXPECT_EQ(describe(x.XDorvVersion(op.num(1))), err_text(excel::ErrValue));
    EXPECT_EQ(x.XDorvSetInifile(op.num(1), op.str("a"), op.str("b")), 0);
    EXPECT_EQ(x.XDorvExec(op.num(1), op.str("select 1")), 0);
    EXPECT_EQ(x.XDorvSelectEntry(op.num(1), op.missing(), op.missing(), op.missing()), nullptr);
    unload_xll(module);
#endif
    // Detach does not release anything again, and says nothing more.
    EXPECT_EQ(boxes.summary().size(), 1u);
    // The log was opened, then closed again by the failed attach.
    std::string text = read_log(log);
    EXPECT_EQ(text.rfind("\nStart: ", 0), 0u) << text;
    EXPECT_NE(text.find("\n\nEnde: "), std::string::npos) << text;
    remove_file(windorv_ini_path());
}

} // namespace
