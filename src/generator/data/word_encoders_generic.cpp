#include "generator/data/word_encoders.h"

namespace {
const word_encoder all_encoders[] = {{"portable", encode_words_portable}};
}  // namespace

const word_encoder* available_word_encoders(size_t* count) {
  *count = 1;
  return all_encoders;
}
