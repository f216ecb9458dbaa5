#include "context/identifier_table.h"

#include <gtest/gtest.h>

#include <cstring>
#include <cwchar>
#include <memory>
#include <string>

namespace {

std::wstring found(const identifier_table& table, const char* key, bool global = false) {
  const wchar_t* path = table.find(key, std::strlen(key), global);
  return path ? path : L"";
}

}  // namespace

TEST(IdentifierTable, NamesAreTakenPerScope) {
  auto table = std::make_unique<identifier_table>();
  ASSERT_TRUE(table->reserve());
  EXPECT_EQ(found(*table, "a_b_png"), L"");
  table->add("a_b_png", 7, false, L"a-b.png");
  EXPECT_EQ(found(*table, "a_b_png"), L"a-b.png");
  EXPECT_EQ(found(*table, "a_b_png", true), L"") << "global names are apart";

  table->push_scope("www", 3);
  EXPECT_EQ(found(*table, "a_b_png"), L"") << "another scope";
  table->add("a_b_png", 7, false, L"www/a-b.png");
  table->add("css", 3, false, L"www/css");
  table->push_scope("css", 3);
  table->add("x", 1, false, L"www/css/x");
  table->pop_scope();
  EXPECT_EQ(found(*table, "a_b_png"), L"www/a-b.png");
  EXPECT_EQ(found(*table, "x"), L"");
  table->pop_scope();
  EXPECT_EQ(found(*table, "a_b_png"), L"a-b.png");
  EXPECT_EQ(found(*table, "css"), L"");

  // "www" + "css" must not meet "wwwc" + "ss".
  table->push_scope("wwwc", 4);
  EXPECT_EQ(found(*table, "ss"), L"");
  table->pop_scope();
  EXPECT_FALSE(table->full());
}

TEST(IdentifierTable, ManyNamesAndAnUnreservedTable) {
  auto table = std::make_unique<identifier_table>();
  EXPECT_EQ(table->find("x", 1, true), nullptr) << "without storage nothing is known";
  table->add("x", 1, true, L"x");
  EXPECT_EQ(table->find("x", 1, true), nullptr);
  ASSERT_TRUE(table->reserve());
  for (int i = 0; i < 100000; ++i) {
    std::string key = "name_" + std::to_string(i);
    std::wstring path = L"dir/" + std::to_wstring(i);
    table->add(key.c_str(), key.size(), true, path.c_str());
  }
  for (int i = 0; i < 100000; i += 997) {
    std::string key = "name_" + std::to_string(i);
    EXPECT_EQ(found(*table, key.c_str(), true), L"dir/" + std::to_wstring(i));
  }
  EXPECT_EQ(found(*table, "name_100000", true), L"");
}
