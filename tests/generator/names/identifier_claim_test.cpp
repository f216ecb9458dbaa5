#include "generator/names/identifier_claim.h"

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

namespace {

struct claimer {
  std::unique_ptr<identifier_table> names = std::make_unique<identifier_table>();
  claimer() { EXPECT_TRUE(names->reserve()); }

  // The identifier that the next item of the current scope gets.
  std::string claim(const char* identifier, claim_scope scope = {0, false, 0}) {
    char text[64];
    std::strcpy(text, identifier);
    size_t length = std::strlen(identifier);
    claim_outcome outcome = claim_identifier(*names, text, &length, sizeof text, scope);
    EXPECT_NE(outcome.result, claim_result::no_room);
    EXPECT_EQ(outcome.result == claim_result::renamed, std::string(text, outcome.base_length) != text) << text;
    return std::string(text, length);
  }
};

}  // namespace

TEST(IdentifierClaim, LaterItemsGetSuffixesCheckedAgainstTheTable) {
  claimer c;
  EXPECT_EQ(c.claim("a_b_png"), "a_b_png");
  EXPECT_EQ(c.claim("a_b_png"), "a_b_png_2");
  EXPECT_EQ(c.claim("a_b_png_3"), "a_b_png_3");
  EXPECT_EQ(c.claim("a_b_png"), "a_b_png_4") << "_3 was taken by a real name";
  // The keyword rule first, then the suffix, without a "__".
  EXPECT_EQ(c.claim("static_"), "static_");
  EXPECT_EQ(c.claim("static"), "static_2");
  EXPECT_EQ(c.claim("linux"), "linux_");
  EXPECT_EQ(c.claim("__LINE__"), "__LINE___");
  EXPECT_EQ(c.claim("_Pragma"), "_Pragma_");
  // A trailing '_' must not make a predefined macro.
  EXPECT_EQ(c.claim("__x86_64_"), "__x86_64__2");
  c.names->push_scope();
  EXPECT_EQ(c.claim("a_b_png"), "a_b_png") << "a nested scope starts empty";
}

TEST(IdentifierClaim, DataArraysAreGlobalAndLabelsPerScope) {
  claimer c;
  // api/assets/x.js and api_assets/x.js, with flat labels: the labels x_js
  // live in different namespaces, the data arrays meet.
  c.names->push_scope();
  EXPECT_EQ(c.claim("api_assets_x_js", {11, true, 11}), "api_assets_x_js");
  c.names->pop_scope();
  c.names->push_scope();
  EXPECT_EQ(c.claim("api_assets_x_js", {11, true, 11}), "api_assets_x_js_2");
  // A label that meets one in its scope renames the whole identifier.
  EXPECT_EQ(c.claim("d_x_js_2", {2, true, 2}), "d_x_js_2_2");
  // A reserved name part makes the whole identifier reserved, also without flat labels.
  EXPECT_EQ(c.claim("x_int", {0, true, 2}), "x_int_");
}
