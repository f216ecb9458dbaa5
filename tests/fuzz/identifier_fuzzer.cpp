// Fuzzes the identifiers made from names: make_path_identifier,
// make_namespace_identifier, is_reserved_identifier and claim_identifier.
//
// Properties: the identifier keeps the length of the name, keeps its ASCII
// letters and digits (a leading digit excepted) and turns every other byte
// into '_', so it is a valid C++ identifier; the label offset lies within
// the text and the label starts at the name after the last separator (or
// one byte earlier when the name starts with a digit); is_reserved_identifier
// agrees with an independent list of the words the generated code cannot
// use; two items claiming one word get two valid identifiers that keep the
// word and are neither keywords nor predefined words.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <set>
#include <string>
#include <string_view>

#include "fuzz_check.h"
#include "generator/names/identifier.h"
#include "generator/names/identifier_claim.h"
#include "metadata/content_type.h"
#include "metadata/text_encoding.h"

namespace {

// C++20 keywords and alternative tokens.
constexpr std::string_view cpp_keywords[] = {
    "alignas", "alignof", "and", "and_eq", "asm", "auto", "bitand", "bitor", "bool", "break", "case", "catch",
    "char", "char8_t", "char16_t", "char32_t", "class", "co_await", "co_return", "co_yield", "compl", "concept",
    "const", "consteval", "constexpr", "constinit", "const_cast", "continue", "decltype", "default", "delete", "do",
    "double", "dynamic_cast", "else", "enum", "explicit", "export", "extern", "false", "float", "for", "friend",
    "goto", "if", "inline", "int", "long", "mutable", "namespace", "new", "noexcept", "not", "not_eq", "nullptr",
    "operator", "or", "or_eq", "private", "protected", "public", "register", "reinterpret_cast", "requires",
    "return", "short", "signed", "sizeof", "static", "static_assert", "static_cast", "struct", "switch", "template",
    "this", "thread_local", "throw", "true", "try", "typedef", "typeid", "typename", "union", "unsigned", "using",
    "virtual", "void", "volatile", "wchar_t", "while", "xor", "xor_eq"};

// Names the generated code defines or uses, and macros of the standard
// headers it includes.
constexpr std::string_view generated_code_names[] = {
    "all",          "all_length",      "sort_all", "vex_res", "vex_res_data", "vex_resource", "vex_res_compare",
    "qsort",        "size_t",          "uint64_t", "ARRAYSIZE", "NULL",     "EXIT_SUCCESS", "EXIT_FAILURE"};

bool is_keyword(std::string_view word) {
  return std::find(std::begin(cpp_keywords), std::end(cpp_keywords), word) != std::end(cpp_keywords);
}

bool is_limit_macro(std::string_view word) {
  if (!word.ends_with("_MAX") && !word.ends_with("_MIN")) return false;
  return std::all_of(word.begin(), word.end(),
                     [](char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_'; });
}

const std::set<std::string_view>& reserved_model() {
  static const std::set<std::string_view> words = [] {
    std::set<std::string_view> all(std::begin(cpp_keywords), std::end(cpp_keywords));
    all.insert(std::begin(generated_code_names), std::end(generated_code_names));
    for (const char* name : content_type_names) all.insert(name);
    for (const char* name : text_encoding_names) all.insert(name);
    return all;
  }();
  return words;
}

// The object-like macros of the compilers and their GNU modes' keywords, as
// the tool lists them.
constexpr std::string_view predefined_words[] = {
#include "generator/names/predefined_macros.inc"
#include "generator/names/extension_keywords.inc"
};

// Names that begin as the implementation's own: "_" and a capital, or "__".
bool reserved_to_the_implementation(std::string_view word) {
  return word.size() >= 2 && word[0] == '_' && ((word[1] >= 'A' && word[1] <= 'Z') || word[1] == '_');
}

bool model_reserved(std::string_view word) {
  static const std::set<std::string_view> macros(std::begin(predefined_words), std::end(predefined_words));
  return is_limit_macro(word) || reserved_model().count(word) != 0 || reserved_to_the_implementation(word) ||
         macros.count(word) != 0;
}

bool is_alnum(unsigned char c) { return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z'); }
bool is_digit(unsigned char c) { return c >= '0' && c <= '9'; }

bool is_identifier(std::string_view word) {
  if (word.empty() || is_digit(static_cast<unsigned char>(word[0]))) return false;
  return std::all_of(word.begin(), word.end(), [](char c) { return c == '_' || is_alnum(static_cast<unsigned char>(c)); });
}

// What both makers turn a name into: letters and digits stay, a leading
// digit and every other byte become '_'.
std::string expected_identifier(const std::string& name) {
  std::string out = name;
  for (char& c : out)
    if (!is_alnum(static_cast<unsigned char>(c))) c = '_';
  if (!out.empty() && is_digit(static_cast<unsigned char>(out[0]))) out[0] = '_';
  return out;
}

size_t expected_label_offset(const std::string& path) {
  size_t separator = path.find_last_of("/\\");
  if (separator == std::string::npos) return 0;
  size_t name_start = separator + 1;
  if (name_start < path.size() && is_digit(static_cast<unsigned char>(path[name_start]))) return name_start - 1;
  return name_start;
}

identifier_table& table() {
  static identifier_table names;
  if (names.full()) names.release();
  FUZZ_CHECK(names.reserve(), "the identifier table cannot be had");
  return names;
}

// Claims word twice in a fresh scope (as two items with one name) and
// checks what both get.
void check_claims(std::string_view word) {
  bool reserved = is_reserved_identifier(word.data(), word.size());
  FUZZ_CHECK(reserved == model_reserved(word), "is_reserved_identifier disagrees with the list of reserved words");
  identifier_table& names = table();
  names.push_scope();
  std::string first;
  for (int item = 0; item < 2; ++item) {
    std::string room(word);
    room.resize(word.size() + 32, '\x7f');
    room[word.size()] = 0;  // the tool's identifiers are terminated text
    size_t length = word.size();
    claim_outcome outcome = claim_identifier(names, room.data(), &length, room.size(), {0, false, 0});
    if (outcome.result == claim_result::table_full) break;
    FUZZ_CHECK(outcome.result != claim_result::no_room, "a short word found no room");
    std::string_view claimed(room.data(), length);
    FUZZ_CHECK(room[length] == 0, "the claimed identifier is not terminated");
    FUZZ_CHECK(claimed.starts_with(word), "the claimed identifier does not keep the word");
    FUZZ_CHECK(outcome.base_length == word.size() + (reserved ? 1 : 0), "the reserved-word rule added the wrong suffix");
    FUZZ_CHECK(is_identifier(claimed), "the claimed identifier is not valid");
    FUZZ_CHECK(!is_keyword(claimed) && !is_predefined_word(claimed.data(), claimed.size()),
               "the claimed identifier is a keyword or a predefined word");
    if (item == 0) {
      FUZZ_CHECK(reserved || claimed == word, "a word that is not reserved must stay untouched");
      first = claimed;
    } else {
      FUZZ_CHECK(claimed != first && outcome.result == claim_result::renamed,
                 "the second item did not get an identifier of its own");
    }
  }
  names.pop_scope();
}

// Arbitrary bytes, or (to reach the reserved words) one of the listed words
// with arbitrary bytes around it.
std::string make_name(FuzzedDataProvider& input) {
  int mode = input.ConsumeIntegralInRange<int>(0, 3);
  std::string name;
  if (mode == 0) return input.ConsumeRemainingBytesAsString();
  std::string prefix = input.ConsumeRandomLengthString(8);
  const auto& words = reserved_model();
  auto word = words.begin();
  std::advance(word, input.ConsumeIntegralInRange<size_t>(0, words.size() - 1));
  name = mode == 1 ? std::string(*word) : prefix + "/" + std::string(*word);
  if (mode == 3) name += input.ConsumeRandomLengthString(4);
  return name;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  std::string name = make_name(input);
  name.resize(std::strlen(name.c_str()));  // the makers work on NUL-terminated text

  std::string path = name;
  size_t label = make_path_identifier(path.data());
  FUZZ_CHECK(path.size() == std::strlen(path.c_str()), "make_path_identifier changed the length");
  FUZZ_CHECK(path == expected_identifier(name), "make_path_identifier made an unexpected identifier");
  FUZZ_CHECK(name.empty() || is_identifier(path), "make_path_identifier made an invalid identifier");
  FUZZ_CHECK(label <= path.size(), "label offset beyond the identifier");
  FUZZ_CHECK(label == expected_label_offset(name), "label does not start at the name after the last separator");
  std::string_view label_text(path.data() + label, path.size() - label);
  FUZZ_CHECK(label_text.empty() || is_identifier(label_text), "the label is not a valid identifier");
  FUZZ_CHECK(!label_text.empty() || name.empty() || name.back() == '/' || name.back() == '\\',
             "the label is empty although the name is not");

  std::string space = name;
  make_namespace_identifier(space.data());
  FUZZ_CHECK(space == expected_identifier(name), "make_namespace_identifier made an unexpected identifier");
  FUZZ_CHECK(name.empty() || is_identifier(space), "make_namespace_identifier made an invalid identifier");

  if (!name.empty()) {
    check_claims(path);
    if (!label_text.empty()) check_claims(label_text);
    check_claims(space);
    FUZZ_CHECK(is_reserved_identifier(name.data(), name.size()) == model_reserved(name),
               "is_reserved_identifier disagrees with the list on the raw name");
  }
  return 0;
}
