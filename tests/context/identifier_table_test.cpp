#include "context/identifier_table.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

namespace {

bool taken(const identifier_table& table, const char* key, bool global = false) {
  return table.taken(key, std::strlen(key), global);
}

}  // namespace

TEST(IdentifierTable, NamesAreTakenPerScope) {
  auto table = std::make_unique<identifier_table>();
  ASSERT_TRUE(table->reserve());
  EXPECT_FALSE(taken(*table, "a_b_png"));
  EXPECT_TRUE(table->add("a_b_png", 7, false));
  EXPECT_TRUE(taken(*table, "a_b_png"));
  EXPECT_FALSE(taken(*table, "a_b_png", true)) << "global names are apart";

  table->push_scope();
  EXPECT_FALSE(taken(*table, "a_b_png")) << "another scope";
  table->add("a_b_png", 7, false);
  table->add("css", 3, false);
  table->push_scope();
  table->add("x", 1, false);
  table->pop_scope();
  EXPECT_FALSE(taken(*table, "x"));
  table->pop_scope();
  EXPECT_TRUE(taken(*table, "a_b_png"));
  EXPECT_FALSE(taken(*table, "css"));

  // A second directory of the same name (renamed in the generated code) is a scope of its own.
  table->push_scope();
  EXPECT_FALSE(taken(*table, "css"));
  table->pop_scope();
  EXPECT_FALSE(table->full());
}

TEST(IdentifierTable, ManyNamesAndAnUnreservedTable) {
  auto table = std::make_unique<identifier_table>();
  EXPECT_FALSE(table->add("x", 1, true)) << "without storage nothing can be recorded";
  EXPECT_TRUE(table->full());
  table->release();
  ASSERT_TRUE(table->reserve());
  // More than the 524,288 names a table of fixed size once held: it grows.
  constexpr int count = 600000;
  for (int i = 0; i < count; ++i) {
    std::string key = "name_" + std::to_string(i);
    ASSERT_TRUE(table->add(key.c_str(), key.size(), true));
  }
  for (int i = 0; i < count; i += 997) EXPECT_TRUE(taken(*table, ("name_" + std::to_string(i)).c_str(), true));
  EXPECT_FALSE(taken(*table, "name_600000", true));
  EXPECT_FALSE(taken(*table, "name_1", false)) << "scopes stay apart after growing";
}

TEST(IdentifierTable, AFullTableSaysSo) {
  auto table = std::make_unique<identifier_table>(70000);
  ASSERT_TRUE(table->reserve());
  bool recorded = true;
  int count = 0;
  for (; recorded && count < 100000; ++count) {
    std::string key = std::to_string(count);
    key.insert(key.begin(), 'n');
    recorded = table->add(key.c_str(), key.size(), false);
  }
  EXPECT_FALSE(recorded) << "the table has a limit, and add reports reaching it";
  EXPECT_TRUE(table->full());
  EXPECT_FALSE(table->add("another", 7, true));
}
