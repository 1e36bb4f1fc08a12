// Engine A's screen table: cursor, line search, listing and writer.
#include "formats/screen_text.h"

#include <algorithm>
#include <string_view>

#include "interface/byte_reader.h"

namespace vantik::formats {
namespace {

constexpr size_t kMaxToken = 255;
constexpr int32_t kScreenTableNumber = 300;

// Character access over the bounded reader.  The text ends at the end of the
// block or at a NUL byte, whichever comes first, so that a legacy block
// without its END line stops at its terminator.
class Text {
 public:
  Text(const void* data, size_t length) : reader_(data, length) {}
  int Peek(size_t ahead = 0) const {
    const size_t at = reader_.pos() + ahead;
    if (ahead > reader_.remaining() || !reader_.Has(at, 1)) return -1;
    const uint8_t c = reader_.data()[at];
    return c == 0 ? -1 : c;
  }
  void Advance() { reader_.Skip(1); }
  bool SkipLine() {
    for (int c = Peek(); c >= 0; c = Peek()) {
      Advance();
      if (c == '\n') return true;
    }
    return false;
  }
  void SkipBlanks() {
    while (Peek() == ' ' || Peek() == '\t') Advance();
  }
  bool Token(int32_t* value) {
    SkipBlanks();
    uint32_t v = 0;
    int32_t sign = 1;
    size_t length = 0;
    for (int c = Peek();; c = Peek()) {
      if (c < 0 || length > kMaxToken) return false;
      if (c == ' ' || c == '\t') break;
      if (c == '-') {
        sign = -1;
      } else {
        v = v * 10u + static_cast<uint32_t>(c - 48);
      }
      ++length;
      Advance();
    }
    if (length == 0 || length > kMaxToken) return false;
    *value = static_cast<int32_t>(v * static_cast<uint32_t>(sign));
    return true;
  }
  bool AtEndLine() const {
    return Peek(0) == 'E' && Peek(1) == 'N' && Peek(2) == 'D';
  }
  // The five numbers after a line's selector.
  bool Rest(ScreenLine& line) {
    return Token(&line.method) && Token(&line.matrix1) && Token(&line.matrix2) &&
           Token(&line.matrix3) && Token(&line.matrix2Phase);
  }

 private:
  ByteReader reader_;
};

constexpr const char* kBadToken =
    "a number is missing, longer than 255 characters, or runs into the text's end";

}  // namespace

Outcome FindScreenLine(const void* data, size_t length, int32_t selector, ScreenLine* out) {
  Text text(data, length);
  if (!text.SkipLine()) return Outcome::Bad("the text ends in its first line");
  for (;;) {
    text.SkipBlanks();
    if (text.AtEndLine()) return Outcome::Bad("no line for the selector before END");
    int32_t first = 0;
    if (!text.Token(&first)) return Outcome::Bad(kBadToken);
    if (first == selector) break;
    if (!text.SkipLine()) return Outcome::Bad("the text ends before the selector's line");
  }
  ScreenLine line{selector, 0, 0, 0, 0, 0};
  if (!text.Rest(line)) return Outcome::Bad(kBadToken);
  *out = line;
  return {};
}

Outcome ListScreenLines(const void* data, size_t length, std::vector<ScreenLine>* lines,
                        bool* sawEnd) {
  *sawEnd = false;
  Text text(data, length);
  if (!text.SkipLine()) return Outcome::Bad("the text ends in its first line");
  for (;;) {
    text.SkipBlanks();
    if (text.AtEndLine()) {
      *sawEnd = true;
      return {};
    }
    if (text.Peek() < 0) return {};  // the text ends without END
    ScreenLine line{};
    if (!text.Token(&line.selector) || !text.Rest(line)) return Outcome::Bad(kBadToken);
    lines->push_back(line);
    if (!text.SkipLine()) return {};
  }
}

std::vector<uint8_t> WriteScreenTable(const ScreenTableContent& table) {
  std::string s = table.firstLine + "\r\n";
  for (const ScreenLine& l : table.lines) {
    for (int32_t v : {l.selector, l.method, l.matrix1, l.matrix2, l.matrix3, l.matrix2Phase})
      s += std::to_string(v) + " ";
    s += "\r\n";
  }
  s += "END \r\n";
  std::vector<uint8_t> out(s.begin(), s.end());
  out.push_back(0);
  return out;
}

bool FitsScreenTable(int number, std::span<const uint8_t> bytes) {
  if (number == kScreenTableNumber) return true;
  if (!LooksLikeText(bytes)) return false;
  const auto text = TextPart(bytes);
  constexpr std::string_view kEnd = "END";
  return std::search(text.begin(), text.end(), kEnd.begin(), kEnd.end()) != text.end();
}

}  // namespace vantik::formats
