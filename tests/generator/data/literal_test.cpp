#include "generator/data/literal.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "generator/generated_text.h"

// The worst case, bytes that all need a 4-character escape, across three
// pieces: every piece stays within 16,380 characters and holds its share of
// the bytes in order.
TEST(LiteralPieces, StayWithinThePieceLimitAndKeepEveryByte) {
  std::vector<uint8_t> bytes(2 * literal_piece_bytes + 10);
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<uint8_t>(i % 32 == 7 ? 0x80 + i % 100 : i % 32);
  std::string text(literal_text_size(bytes.size()), '\0');
  text.resize(encode_literal_pieces(bytes.data(), bytes.size(), text.data()));

  std::vector<std::string> pieces;
  for (size_t start = 0;;) {
    size_t end = text.find(literal_join, start);
    pieces.push_back(text.substr(start, end == std::string::npos ? std::string::npos : end - start));
    if (end == std::string::npos) break;
    start = end + std::string(literal_join).size();
  }
  ASSERT_EQ(pieces.size(), 3u);
  std::vector<uint8_t> decoded;
  for (const std::string& piece : pieces) {
    EXPECT_LE(piece.size(), 16380u);
    for (size_t i = 0; i < piece.size(); ++i) {
      ASSERT_EQ(piece[i], '\\') << "every byte here is escaped";
      int value = (piece[i + 1] - '0') * 64 + (piece[i + 2] - '0') * 8 + piece[i + 3] - '0';
      decoded.push_back(static_cast<uint8_t>(value));
      i += 3;
    }
  }
  EXPECT_EQ(decoded, bytes);
}
