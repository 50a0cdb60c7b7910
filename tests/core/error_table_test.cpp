// The table of system messages the program shows when a picture cannot be written.
#include "app/core/error_table.h"

#include <gtest/gtest.h>
#include <string>

TEST(ErrorTable, RowsAndLookups)
{
    EXPECT_EQ(errorText(0), "操作成功完成。");
    EXPECT_EQ(errorText(2), "系统找不到指定的文件。");
    EXPECT_EQ(errorText(3), "系统找不到指定的路径。");
    EXPECT_EQ(errorText(5), "拒绝访问。");
    EXPECT_EQ(errorText(8), "存储空间不足，无法处理此命令。");
    EXPECT_EQ(errorText(1393), "磁盘结构损坏且无法读取。");
    EXPECT_EQ(errorText(34), "");     // between listed codes
    EXPECT_EQ(errorText(1399), "");   // past the last row
    EXPECT_EQ(errorText(13), "数据无效。");  // "〖13〗" must not match inside "〖1393〗" or the reverse

    // Every row is "〖" code "〗-" message CR LF, codes ascending, 458 of them, none empty.
    const std::string table = kErrorTable;
    size_t rows = 0, at = 0;
    long previous = -1;
    while (at < table.size()) {
        const size_t end = table.find("\r\n", at);
        ASSERT_NE(end, std::string::npos);
        const std::string row = table.substr(at, end - at);
        ASSERT_EQ(row.rfind("〖", 0), 0u) << row;
        const size_t close = row.find("〗-");
        ASSERT_NE(close, std::string::npos) << row;
        const long code = std::stol(row.substr(2, close - 2));
        EXPECT_GT(code, previous);
        EXPECT_GT(row.size(), close + 3) << row;
        EXPECT_EQ(errorText(static_cast<unsigned long>(code)), row.substr(close + 3));
        previous = code;
        ++rows;
        at = end + 2;
    }
    EXPECT_EQ(rows, 458u);
}
