#include "core/pagelayout.h"

#include <string>

#include <gtest/gtest.h>

#include "core/error.h"

using namespace velmora;

TEST(PageLayout, QueryBodyInsertsValuesAsTheyAre)
{
    EXPECT_EQ(PageLayoutQueryBody("547882", "4711"), "current_arr=0&item_id=547882&magazine_id=4711");
    EXPECT_EQ(PageLayoutQueryBody("", ""), "current_arr=0&item_id=&magazine_id=");
    EXPECT_EQ(PageLayoutQueryBody("a b&c", "x=y"), "current_arr=0&item_id=a b&c&magazine_id=x=y");
}

TEST(PageLayout, TileCountIsTheArrayLength)
{
    struct Row
    {
        const char *name;
        std::string answer;
        int expected;
    };
    std::string fifteen = "{\"right_page_arr\":[";
    for (int i = 0; i < 15; ++i)
        fifteen += std::string(i ? "," : "") + "{\"id\":" + std::to_string(i) + "}";
    fifteen += "]}";
    const Row rows[] = {
        {"fifteen objects", fifteen, 15},
        {"twelve of mixed kinds",
         R"({"status":1,"right_page_arr":[1,"a",null,true,[],{},2,3,4,5,6,7],"left":[]})", 12},
        {"empty array", R"({"right_page_arr":[]})", 0},
        {"more than a page can hold", R"({"right_page_arr":[1,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16,17,18,19]})", 19},
        {"text after the object", "{\"right_page_arr\":[1,2]}<!-- served in 3 ms -->\r\n{", 2},
        {"blanks before the object", " \r\n\t{\"right_page_arr\":[1]}", 1},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        EXPECT_EQ(TileCountFromAnswer(row.answer), row.expected);
    }
}

TEST(PageLayout, AnswerErrorsNameWhatWasWrong)
{
    struct Row
    {
        const char *name;
        std::string answer;
        std::string message;
    };
    const Row rows[] = {
        {"empty answer", "", "the page-layout answer is not JSON (parse error at line 1, column 1: "},
        {"HTML", "<html>502 Bad Gateway</html>", "the page-layout answer is not JSON (parse error"},
        {"cut short", R"({"right_page_arr":[1,2)", "the page-layout answer is not JSON (parse error"},
        {"array", "[1,2,3]", "the page-layout answer is not a JSON object but an array"},
        {"number", "12", "the page-layout answer is not a JSON object but a number"},
        {"member missing", R"({"left_page_arr":[1]})",
         "the page-layout answer has no array \"right_page_arr\" (the member is missing)"},
        {"member null", R"({"right_page_arr":null})",
         "the page-layout answer has no array \"right_page_arr\" (the member is null)"},
        {"member object", R"({"right_page_arr":{"0":1}})",
         "the page-layout answer has no array \"right_page_arr\" (the member is an object)"},
        {"member string", R"({"right_page_arr":"[1,2]"})",
         "the page-layout answer has no array \"right_page_arr\" (the member is a string)"},
    };
    for (const Row &row : rows) {
        SCOPED_TRACE(row.name);
        try {
            TileCountFromAnswer(row.answer);
            ADD_FAILURE() << "no error";
        } catch (const Error &e) {
            EXPECT_EQ(std::string(e.what()).rfind(row.message, 0), 0u) << e.what();
        }
    }
}
