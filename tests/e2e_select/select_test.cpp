// A real query's rows in the entry dialog, picked by their key.
#include "client/connection/library.h"
#include "client/include/dorv32.h"
#include "client/resources/string_table.h"
#include "platform/list_dialog.h"
#include "support/box_capture.h"
#include "support/dorvd_process.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <strings.h>
#include <vector>

namespace {

class LibraryEnvironment : public ::testing::Environment {
  public:
    void SetUp() override { dorv_library_attach(dorv32_string_table()); }
    void TearDown() override { dorv_library_detach(); }
};
const auto* registered = ::testing::AddGlobalTestEnvironment(new LibraryEnvironment);

int exec(int handle, const std::string& statements) {
    std::vector<char> text(statements.begin(), statements.end());
    text.push_back('\0');
    return hl_dorv_exec(handle, text.data());
}

// Picks the row holding `wanted`; remembers what was shown.
struct Picker {
    std::string wanted;
    std::vector<std::string> rows;
    std::string status;
    int picked = -1;
    static int answer(const PlatListView* view, void* context) {
        Picker* p = static_cast<Picker*>(context);
        p->status = view->status;
        int found = -1;
        for (int i = 0; i < view->count; ++i) {
            p->rows.push_back(view->rows[i]);
            if (found < 0 && p->rows.back().find(p->wanted) != std::string::npos) found = i;
        }
        p->picked = found;
        return found;
    }
};

class SelectEndToEnd : public ::testing::TestWithParam<int> {
  protected:
    void SetUp() override {
        std::vector<std::string> options;
        if (GetParam() != 1024) options = {"--block-size", std::to_string(GetParam())};
        ASSERT_TRUE(server.start(options)) << server.error();
        char transport[] = "WINSOCK";
        handle = hl_connect(transport, "127.0.0.1", server.service().c_str(), 0);
        ASSERT_GE(handle, 0);
        ASSERT_EQ(exec(handle, "OPEN DATABASE 'sample'"), 0);
    }
    void TearDown() override {
        plat_set_list_answerer(nullptr, nullptr);
        if (handle >= 0) {
            EXPECT_EQ(hl_disconnect(handle), 0);
        }
    }
    DorvdProcess server;
    int handle = -1;
};

TEST_P(SelectEndToEnd, TheRowPickedGivesTheKeyUnderItsColumn) {
    struct Case {
        const char* wanted;
        const char* keyfield;
        int keylen;
        std::string key;
    } cases[] = {
        {"Palo Alto", "country", 2, "US"},
        {"Besan", "country", 2, "FR"},
        {"Hewlett", "city", 0, ""}, // keylen 0: the whole row, the key column plays no part
        {"Hewlett", "name", 9, "Hewlett B"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.wanted);
        BoxCapture boxes;
        ASSERT_EQ(exec(handle, "select name, city, country from customers order by id"), 0);
        Picker picker{c.wanted, {}, {}, -1};
        plat_set_list_answerer(Picker::answer, &picker);
        char key[256];
        snprintf(key, sizeof key, "%s", c.keyfield);
        EXPECT_EQ(hl_dorv_select_entry(handle, key, c.keylen, 0), 1);
        // keylen 0 takes the rest of the row: "Palo Alto" and then the country.
        if (c.keylen == 0) {
            std::string row = picker.rows.at(static_cast<size_t>(picker.picked));
            EXPECT_EQ(std::string(key), row.substr(0, row.find_last_not_of(' ') + 1));
            EXPECT_NE(row.find("Palo Alto"), std::string::npos);
        } else {
            EXPECT_EQ(std::string(key), c.key);
        }
        ASSERT_EQ(picker.rows.size(), 6u);
        for (size_t i = 1; i < picker.rows.size(); ++i)
            EXPECT_LE(strcasecmp(picker.rows[i - 1].c_str(), picker.rows[i].c_str()), 0)
                << "sorted";
        EXPECT_EQ(picker.status, "6 Entries qualified");
        EXPECT_TRUE(boxes.boxes.empty());
    }
}

TEST_P(SelectEndToEnd, LimitAndEmptyResultAreReported) {
    BoxCapture boxes;
    Picker picker{"K", {}, {}, -1};
    plat_set_list_answerer(Picker::answer, &picker);
    ASSERT_EQ(exec(handle, "select name, stock from products order by id"), 0);
    char key[256] = "stock";
    EXPECT_EQ(hl_dorv_select_entry(handle, key, 4, 3), 1);
    EXPECT_EQ(picker.rows.size(), 3u);
    EXPECT_EQ(picker.status, "3 Entries qualified");
    EXPECT_EQ(std::string(key), "80"); // Käsekuchen
    EXPECT_EQ(boxes.summary(),
              std::vector<std::string>{"Dorv|More than the declared number of entries "
                                       "qualified.\nPlease restrict your selection"});

    boxes.clear();
    ASSERT_EQ(exec(handle, "select name from products where price > 1000"), 0);
    char none[256] = "name";
    EXPECT_EQ(hl_dorv_select_entry(handle, none, 0, 5), 0);
    EXPECT_STREQ(none, "name");
    EXPECT_EQ(boxes.summary(), std::vector<std::string>{"Dorv|No entries qualified"});
}

INSTANTIATE_TEST_SUITE_P(BlockSizes, SelectEndToEnd, ::testing::Values(1024, 16));

} // namespace
